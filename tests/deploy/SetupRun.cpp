#include "tests/deploy/SetupRun.h"

#include "mirov/Handles.h"
#include "tools/common/ChildProcess.h"

namespace {

constexpr DWORD kSetupTimeoutMs = 60000;

} // namespace

DWORD RunToEnd(const std::string& exe, const std::string& arguments) {
    ChildProcess process;
    if (!process.Start(exe, arguments))
        return ERROR_FILE_NOT_FOUND;
    process.Wait(kSetupTimeoutMs);
    return process.ExitCode();
}

void RemoveInstallerEntries() {
    mirov::UniqueHkey run;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, run.Put()) ==
        ERROR_SUCCESS)
        ::RegDeleteValueA(run.Get(), kRunValue);
    mirov::UniqueHkey uninstall;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                        uninstall.Put()) == ERROR_SUCCESS)
        ::RegDeleteTreeA(uninstall.Get(), nullptr);
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_64KEY, 0);
}
