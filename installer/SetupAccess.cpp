// The installer's work on access lists and tokens, which it only calls (x64 build):
//   TorvexSetupAccess check-folder FOLDER             only the trusted accounts may change FOLDER, every
//                                                     folder above it and everything in it, at any
//                                                     depth; a folder yet to be made is judged by what
//                                                     it would inherit; a network folder is refused
//   TorvexSetupAccess check-path FOLDER               the same for FOLDER and the folders above it, not
//                                                     what is in it (before files there are removed)
//   TorvexSetupAccess own-key 64|32                   makes the Administrators the owner of
//                                                     HKLM\Software\Orvane\TORVEX3 in that view where
//                                                     its owner is not trusted
//   TorvexSetupAccess secure-key 64|32                takes the entries that let others change that key's
//                                                     list or owner, or delete it, out of its list
//   TorvexSetupAccess grant-key 64|32 [--replace-full-access]
//                                                     grants the interactive users query and set value
//                                                     on that key
//   TorvexSetupAccess revoke-key 64|32 [--full-access]
//                                                     takes that grant (or a full-access one) out
//   TorvexSetupAccess start PROGRAM                   starts PROGRAM with the desktop shell's token
//   TorvexSetupAccess end-copies PROGRAM              asks the processes running PROGRAM's file to
//                                                     quit, waits for their end (20 s) and ends those
//                                                     that did not
// Prints one line saying what it found or did. Exit codes: 0 done (the folder is safe, the owner
// replaced, others' entries taken out, the grant added or taken out, the program started, its copies
// ended); 1 nothing to change (no copy ran); 2 wrong arguments; 3 refused (the folder, a folder above
// it or something in it may be changed by others, the path holds a link or is on the network; the
// program not started: no shell, or an elevated one); 4 failed (the line says which call and its
// error, or which copy still runs); every change of the key's security is read back, and what the
// system changed beside it written back, or it fails.
#include "mirov/Handles.h"
#include "installer/ChangeRights.h"
#include "installer/InstallFolderCheck.h"
#include "installer/RunningCopies.h"
#include "installer/ThresholdKeyAccess.h"
#include "installer/UserTokenStart.h"

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
    return Say(kUsage, L"usage: TorvexSetupAccess check-folder FOLDER | check-path FOLDER | own-key 64|32 | "
                       L"secure-key 64|32 | grant-key 64|32 [--replace-full-access] | revoke-key 64|32 "
                       L"[--full-access] | start PROGRAM | end-copies PROGRAM");
}

int CheckFolder(const std::wstring& folder, InstallFolderCheck::Scope scope) {
    const ChangeRights rights{TrustedAccounts(ProcessAccountSid())};
    const InstallFolderCheck::Result result = InstallFolderCheck(rights).Check(folder, scope);
    return Say(result.safe ? kDone : kRefused, result.message);
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
    if (command == L"own-key" && option.empty())
        return ExitCodeOf(key.MakeAdministratorsOwner(TrustedAccounts(ProcessAccountSid())));
    if (command == L"secure-key" && option.empty())
        return ExitCodeOf(key.TakeOutOthersChanges(TrustedAccounts(ProcessAccountSid())));
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

// The installer's limit for a copy to end, by the clock.
constexpr DWORD kQuitWaitMs = 20000;

int EndCopies(const std::wstring& program) {
    const RunningCopies::Result result = RunningCopies(program, kQuitWaitMs).End();
    const int code = result.outcome == RunningCopies::Outcome::Ended     ? kDone
                     : result.outcome == RunningCopies::Outcome::NoneRan ? kUnchanged
                                                                         : kFailed;
    return Say(code, result.message);
}

} // namespace

int main() {
    int count = 0;
    const mirov::UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(::GetCommandLineW(), &count));
    if (!argv || count < 3)
        return Usage();
    const std::wstring command = argv.Get()[1];
    const std::vector<std::wstring> args(argv.Get() + 2, argv.Get() + count);
    if (command == L"check-folder" && args.size() == 1)
        return CheckFolder(args[0], InstallFolderCheck::Scope::Everything);
    if (command == L"check-path" && args.size() == 1)
        return CheckFolder(args[0], InstallFolderCheck::Scope::Folders);
    if (command == L"own-key" || command == L"secure-key" || command == L"grant-key" ||
        command == L"revoke-key")
        return KeyCommand(command, args);
    if (command == L"start" && args.size() == 1)
        return Start(args[0]);
    if (command == L"end-copies" && args.size() == 1)
        return EndCopies(args[0]);
    return Usage();
}
