#pragma once

#include <windows.h>

#include <string>

// What the 64-bit installer writes outside its folder, in the 64-bit view whichever build the test is
// (and contract::kRunValue under kRunKey).
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TorvexHelp";

// How long an installer or uninstaller may take.
constexpr DWORD kSetupTimeoutMs = 60000;

// What scripts/package makes: the installer, and the builds it carries under x64\ and x86\.
std::string PackageFolder();
std::string InstallerPath();
// Why the installer cannot be run here, for GTEST_SKIP; "" when it can.
std::string WhyInstallerCannotRun();

// Runs an installer or uninstaller to its end: its exit code, or ERROR_FILE_NOT_FOUND when it did not
// start.
DWORD RunToEnd(const std::string& exe, const std::string& arguments);

// Whether HKLM (the 64-bit view) holds the key, or the value when one is named.
bool RegistryHolds(const char* key, const char* value);

// Takes out the logon entry and the uninstall entry that an install left, whatever folder they name.
void RemoveInstallerEntries();
