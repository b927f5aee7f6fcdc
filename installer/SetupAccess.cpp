// The installer's work on access lists and tokens, which it only calls (x64 build):
//   TorvexSetupAccess check-folder FOLDER             only the trusted accounts may change FOLDER, every
//                                                     folder above it and everything in it, at any
//                                                     depth; a folder yet to be made is judged by what
//                                                     it would inherit; a network folder is refused
//   TorvexSetupAccess check-path FOLDER               the same for FOLDER and the folders above it, not
//                                                     what is in it (before files there are removed)
//   TorvexSetupAccess library-arch FILE               prints the machine the library FILE is built for,
//                                                     x64 or x86, read from its PE header
//   TorvexSetupAccess create-key 64|32 [--parent]     creates HKLM\Software\Orvane\TORVEX3 (with
//                                                     --parent, the vendor's key above it alone) in that
//                                                     view where it is missing
//   TorvexSetupAccess own-key 64|32                   makes the Administrators the owner of that key in
//                                                     that view where its owner is not trusted
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
// Prints one line saying what it found or did. Exit codes: 0 done (the folder is safe, the key
// created, the owner replaced, others' entries taken out, the grant added or taken out, the program
// started, its copies ended; the library's machine printed); 1 nothing to change (the key there
// already, no copy ran; no such library: "none"); 2 wrong arguments; 3 refused (the folder, a folder
// above it or something in it may be changed by others, the path holds a link or is on the network;
// the program not started: no shell, or an elevated one; the library is no PE file of either
// machine); 4 failed (the line says which call and its error, or which copy still runs); every change
// of the key's security is read back, and what the system changed beside it written back, or it fails.
#include "installer/ChangeRights.h"
#include "installer/CommandResult.h"
#include "installer/InstallFolderCheck.h"
#include "installer/PeMachine.h"
#include "installer/RunningCopies.h"
#include "installer/ThresholdKeyAccess.h"
#include "installer/UserTokenStart.h"
#include "mirov/Handles.h"

#include <shellapi.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// The installer's limit for a copy to end, by the clock.
constexpr DWORD kQuitWaitMs = 20000;

// One line ending in CR LF: stdout is in text mode, which writes "\n" as both.
void Say(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::vector<char> bytes(size > 0 ? static_cast<size_t>(size) : 1u);
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
    std::fputs(bytes.data(), stdout);
    std::fflush(stdout);
}

CommandResult Usage() {
    return {ExitCode::Usage,
            L"usage: TorvexSetupAccess check-folder FOLDER | check-path FOLDER | library-arch FILE | "
            L"create-key 64|32 [--parent] | own-key 64|32 | secure-key 64|32 | grant-key 64|32 "
            L"[--replace-full-access] | revoke-key 64|32 [--full-access] | start PROGRAM | "
            L"end-copies PROGRAM"};
}

CommandResult CheckFolder(const std::wstring& folder, InstallFolderCheck::Scope scope) {
    const ChangeRights rights{TrustedAccounts(Sid::OfProcessAccount())};
    return InstallFolderCheck(rights).Check(folder, scope);
}

bool IsKeyCommand(const std::wstring& command) {
    return command == L"create-key" || command == L"own-key" || command == L"secure-key" ||
           command == L"grant-key" || command == L"revoke-key";
}

CommandResult KeyCommand(const std::wstring& command, const std::vector<std::wstring>& args) {
    if (args.empty() || (args[0] != L"64" && args[0] != L"32") || args.size() > 2)
        return Usage();
    const ThresholdKeyAccess key(args[0] == L"32" ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
    const std::wstring option = args.size() == 2 ? args[1] : L"";
    if (command == L"create-key" && (option.empty() || option == L"--parent"))
        return key.Create(!option.empty());
    if (command == L"own-key" && option.empty())
        return key.MakeAdministratorsOwner(TrustedAccounts(Sid::OfProcessAccount()));
    if (command == L"secure-key" && option.empty())
        return key.TakeOutOthersChanges(TrustedAccounts(Sid::OfProcessAccount()));
    if (command == L"grant-key" && (option.empty() || option == L"--replace-full-access"))
        return key.Grant(!option.empty());
    if (command == L"revoke-key" && (option.empty() || option == L"--full-access"))
        return key.Revoke(option.empty() ? ThresholdKeyAccess::kGrantedRights : KEY_ALL_ACCESS);
    return Usage();
}

CommandResult Run(const std::wstring& command, const std::vector<std::wstring>& args) {
    if (command == L"check-folder" && args.size() == 1)
        return CheckFolder(args[0], InstallFolderCheck::Scope::Everything);
    if (command == L"check-path" && args.size() == 1)
        return CheckFolder(args[0], InstallFolderCheck::Scope::Folders);
    if (command == L"library-arch" && args.size() == 1)
        return PeMachine(args[0]).Read();
    if (IsKeyCommand(command))
        return KeyCommand(command, args);
    if (command == L"start" && args.size() == 1)
        return UserTokenStart(args[0]).Start();
    if (command == L"end-copies" && args.size() == 1)
        return RunningCopies(args[0], kQuitWaitMs).End();
    return Usage();
}

} // namespace

int main() {
    int count = 0;
    const mirov::UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(::GetCommandLineW(), &count));
    const CommandResult result =
        argv && count >= 3 ? Run(argv.Get()[1], {argv.Get() + 2, argv.Get() + count}) : Usage();
    Say(result.line);
    return static_cast<int>(result.code);
}
