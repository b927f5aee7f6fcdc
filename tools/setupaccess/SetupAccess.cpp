// The installer's work on access lists and tokens, which it only calls (x64 build):
//   TorvexSetupAccess check-folder FOLDER [FILE...]   only administrators may change FOLDER (or, when
//                                                     it does not exist yet, the folder it would be
//                                                     made in) and the named files in it that exist
//   TorvexSetupAccess grant-key 64|32 [--replace-full-access]
//                                                     grants the interactive users query and set value
//                                                     on HKLM\Software\Orvane\TORVEX3 in that view
//   TorvexSetupAccess revoke-key 64|32 [--full-access]
//                                                     takes that grant (or a full-access one) out
//   TorvexSetupAccess start PROGRAM                   starts PROGRAM with the desktop shell's token
// Prints one line saying what it found or did. Exit codes: 0 done (the folder is safe, the grant
// added or taken out, the program started); 1 nothing to change; 2 wrong arguments; 3 refused (the
// folder or a file may be changed by others; the program not started: no shell, or an elevated
// one); 4 failed (the line says which call and its error).
#include "mirov/Handles.h"
#include "tools/setupaccess/ChangeRights.h"
#include "tools/setupaccess/ThresholdKeyAccess.h"
#include "tools/setupaccess/UserTokenStart.h"

#include <aclapi.h>
#include <shellapi.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

enum ExitCode { kDone = 0, kUnchanged = 1, kUsage = 2, kRefused = 3, kFailed = 4 };

int Say(int code, const std::wstring& line) {
    const std::wstring text = line + L"\r\n";
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::vector<char> bytes(size > 0 ? static_cast<size_t>(size) : 1u);
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
    std::fputs(bytes.data(), stdout);
    std::fflush(stdout);
    return code;
}

int Usage() {
    return Say(kUsage, L"usage: TorvexSetupAccess check-folder FOLDER [FILE...] | grant-key 64|32 "
                       L"[--replace-full-access] | revoke-key 64|32 [--full-access] | start PROGRAM");
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The folder itself, or the nearest one above it that exists: a new folder inherits from it.
std::wstring ExistingFolder(std::wstring folder) {
    while (!folder.empty() && !Exists(folder)) {
        const size_t slash = folder.find_last_of(L"\\/");
        folder = slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
    }
    return folder;
}

// "" when only administrators may change the object; else why not, or why it cannot be told.
std::wstring WhyUnsafe(const ChangeRights& rights, const std::wstring& path, ChangeRights::Kind kind) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                                nullptr, nullptr, nullptr, nullptr, &descriptor);
    if (error != ERROR_SUCCESS)
        return L"its access list cannot be read (error " + std::to_wstring(error) + L")";
    const mirov::UniqueLocal<PSECURITY_DESCRIPTOR> owned(descriptor);
    return rights.WhyUnsafe(descriptor, kind);
}

int CheckFolder(const std::vector<std::wstring>& args) {
    const std::wstring folder = ExistingFolder(args[0]);
    if (folder.empty())
        return Say(kRefused, args[0] + L": no part of this path exists");
    const ChangeRights rights(ProcessAccountSid());
    const std::wstring why = WhyUnsafe(rights, folder, ChangeRights::Kind::Folder);
    if (!why.empty())
        return Say(kRefused, folder + L": " + why);
    for (size_t i = 1; i < args.size() && folder == args[0]; ++i) {
        const std::wstring file = folder + L"\\" + args[i];
        const std::wstring whyFile = Exists(file) ? WhyUnsafe(rights, file, ChangeRights::Kind::File) : L"";
        if (!whyFile.empty())
            return Say(kRefused, file + L": " + whyFile);
    }
    return Say(kDone, folder + L": only administrators may change it");
}

int ExitCodeOf(const ThresholdKeyAccess::Result& result) {
    const int code = result.outcome == ThresholdKeyAccess::Outcome::Changed     ? kDone
                     : result.outcome == ThresholdKeyAccess::Outcome::Unchanged ? kUnchanged
                                                                                : kFailed;
    return Say(code, result.message);
}

int KeyCommand(const std::wstring& command, const std::vector<std::wstring>& args) {
    if (args.empty() || (args[0] != L"64" && args[0] != L"32") || args.size() > 2)
        return Usage();
    const ThresholdKeyAccess key(args[0] == L"32" ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
    const std::wstring option = args.size() == 2 ? args[1] : L"";
    if (command == L"grant-key" && (option.empty() || option == L"--replace-full-access"))
        return ExitCodeOf(key.Grant(!option.empty()));
    if (command == L"revoke-key" && (option.empty() || option == L"--full-access"))
        return ExitCodeOf(key.Revoke(option.empty() ? ThresholdKeyAccess::kGrantedRights : KEY_ALL_ACCESS));
    return Usage();
}

int Start(const std::wstring& program) {
    const UserTokenStart::Result result = UserTokenStart(program).Start();
    switch (result.outcome) {
    case UserTokenStart::Outcome::Started:
        return Say(kDone, result.message);
    case UserTokenStart::Outcome::Failed:
        return Say(kFailed, L"Not started: " + result.message);
    default:
        return Say(kRefused, L"Not started: " + result.message);
    }
}

} // namespace

int main() {
    int count = 0;
    const mirov::UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(::GetCommandLineW(), &count));
    if (!argv || count < 3)
        return Usage();
    const std::wstring command = argv.Get()[1];
    const std::vector<std::wstring> args(argv.Get() + 2, argv.Get() + count);
    if (command == L"check-folder")
        return CheckFolder(args);
    if (command == L"grant-key" || command == L"revoke-key")
        return KeyCommand(command, args);
    if (command == L"start" && args.size() == 1)
        return Start(args[0]);
    return Usage();
}
