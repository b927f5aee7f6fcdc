#pragma once

#include <windows.h>

#include <string>

// What the simulated library is told to do, read afresh from the registry on every call so that
// a test or a person can change it while a program uses the library.
//
// Key: HKEY_CURRENT_USER\<%TORVEX_SIM_KEY%, default Software\TorvexSim>
//   Result.<Export>   DWORD  result of that export (default 1 for yes/no exports, 0 for others)
//   IsSupport         DWORD  support report of TorvexIsSupport (default 1)
//   CheckOC           DWORD  out-value of TorvexCheckOC (default 0)
//   CheckReboot       DWORD  out-value of TorvexCheckReboot (default 0)
//   Level             DWORD  the current level (default 0)
//   Items\<8 hex digits>  Supported, Readable, Writable (default 1), Value (default 0)
// The level item 0x0B060001 reads and writes Level.
class SimConfig {
public:
    static DWORD Read(const char* name, DWORD fallback);
    static void Write(const char* name, DWORD value);
    static DWORD ReadItem(DWORD item, const char* name, DWORD fallback);
    static void WriteItem(DWORD item, const char* name, DWORD value);

    // Journal file: %TORVEX_SIM_JOURNAL%, else Torvex.journal beside the library. Kept open for
    // appending: to clear it while a program uses the library, empty it rather than delete it.
    static std::string JournalPath();
    static void Journal(const std::string& line);

private:
    static std::string KeyPath();
    static std::string ItemKeyPath(DWORD item);
    static DWORD ReadFrom(const std::string& key, const char* name, DWORD fallback);
    static void WriteTo(const std::string& key, const char* name, DWORD value);
};
