#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The 24 entry points a vendor library exports, in the order the controller resolves them.
inline const std::vector<std::string> kTorvexExports = {
    "TorvexInit",          "TorvexGetLevel",         "TorvexSetLevel",
    "TorvexIsSupport",     "TorvexCheckOC",          "TorvexCheckReboot",
    "IsLulloSupported",    "IsFanControlSupported",  "IsVexaSupported",
    "IsVexaTwoSupported",  "IsVexaThreeSupported",   "IsPindleSupported",
    "IsNitrelSupported",   "IsThermostatSupported",  "IsTorvexTwoSupported",
    "TorvexButtonEnable",  "TorvexGetItem",          "TorvexSetItem",
    "SetItemEx",           "IsItemSupported",        "GetStringList",
    "GetItemDefaultValue", "IsWhirroThreeSupported", "GetItemInformation",
};

// The item that switches the performance feature on and off.
constexpr DWORD kFeatureSwitch = 0x0B060002;

// Sets up and observes the simulated vendor library for one test or benchmark: its own registry key
// and journal, both passed on to child processes through the environment.
class SimTorvex {
public:
    explicit SimTorvex(const std::string& name);
    ~SimTorvex();
    SimTorvex(const SimTorvex&) = delete;
    SimTorvex& operator=(const SimTorvex&) = delete;

    // Every answer back to its default, and an empty journal.
    void Reset();
    void Set(const char* name, DWORD value);
    void SetResult(const char* exportName, DWORD value);
    void SetItem(DWORD item, const char* flag, DWORD value);
    DWORD Get(const char* name, DWORD fallback) const;
    DWORD ItemValue(DWORD item) const;

    // Capability item and support report in one step: state 1..4 as the classification gives it.
    void SetSupportState(int state);

    std::vector<std::string> Journal() const;
    // Journal lines that start with one of the given call names.
    std::vector<std::string> Calls(std::initializer_list<const char*> names) const;
    void ClearJournal() const;
    const std::string& JournalPath() const { return m_journal; }

    // The simulated Torvex.dll in the build's bin folder.
    static std::string LibraryPath();

private:
    std::string m_key;
    std::string m_journal;
};
