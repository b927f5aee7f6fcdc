#include "tests/deploy/SetupRun.h"

#include "mirov/Contract.h"
#include "mirov/Handles.h"
#include "tests/support/TestFolder.h"
#include "tools/common/ChildProcess.h"

#include <optional>

namespace {

std::optional<ULONGLONG> LastWrite(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

} // namespace

std::string PackageFolder() {
    return TestFolder::BinFolder() + "..\\..\\package\\";
}

std::string InstallerPath() {
    return PackageFolder() + "TorvexHelp-Setup.exe";
}

std::string WhyInstallerCannotRun() {
    const std::optional<ULONGLONG> installer = LastWrite(InstallerPath());
    if (!installer)
        return "the installer was not built: scripts/package makes " + InstallerPath();
    // An earlier package would test earlier code.
    for (const std::string& carried : {TestFolder::BinFolder() + "..\\..\\x64\\bin\\TorvexHelp.exe",
                                       TestFolder::BinFolder() + "..\\..\\x86\\bin\\TorvexHelp.exe",
                                       TestFolder::BinFolder() + "..\\..\\x64\\bin\\TorvexSetupAccess.exe"}) {
        const std::optional<ULONGLONG> built = LastWrite(carried);
        if (!built)
            return carried + " was not built: scripts/test builds both architectures";
        if (*built > *installer)
            return "the installer is older than " + carried + ": scripts/package makes it again";
    }
    return std::string();
}

bool RegistryHolds(const char* key, const char* value) {
    mirov::UniqueHkey open;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, open.Put()) !=
        ERROR_SUCCESS)
        return false;
    return !value ||
           ::RegQueryValueExA(open.Get(), value, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

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
        ::RegDeleteValueA(run.Get(), contract::kRunValue);
    mirov::UniqueHkey uninstall;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                        uninstall.Put()) == ERROR_SUCCESS)
        ::RegDeleteTreeA(uninstall.Get(), nullptr);
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_64KEY, 0);
}
