#include "tests/support/SimTorvex.h"

#include "mirov/Handles.h"
#include "sim/torvex/SimConfig.h"
#include "tests/support/TestFolder.h"

#include <fstream>

SimTorvex::SimTorvex(const std::string& name)
    : m_key("Software\\TorvexSim\\" + name), m_journal(TestFolder::TempRoot() + name + ".journal") {
    Reset();
    ::SetEnvironmentVariableA("TORVEX_SIM_KEY", m_key.c_str());
    ::SetEnvironmentVariableA("TORVEX_SIM_JOURNAL", m_journal.c_str());
}

SimTorvex::~SimTorvex() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, m_key.c_str());
    ::DeleteFileA(m_journal.c_str());
}

void SimTorvex::Reset() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, m_key.c_str());
    ClearJournal();
}

void SimTorvex::Set(const char* name, DWORD value) {
    SimConfig::Write(name, value);
}

void SimTorvex::SetResult(const char* exportName, DWORD value) {
    Set(("Result." + std::string(exportName)).c_str(), value);
}

void SimTorvex::SetItem(DWORD item, const char* flag, DWORD value) {
    SimConfig::WriteItem(item, flag, value);
}

DWORD SimTorvex::Get(const char* name, DWORD fallback) const {
    return SimConfig::Read(name, fallback);
}

DWORD SimTorvex::ItemValue(DWORD item) const {
    return SimConfig::ReadItem(item, "Value", 0);
}

void SimTorvex::SetSupportState(int state) {
    static const DWORD kCapability[] = {0, 0, 1, 2, 4};
    Set("IsSupport", state == 0 ? 0 : 1);
    SetItem(0x0B060003, "Value", kCapability[state]);
}

std::vector<std::string> SimTorvex::Journal() const {
    std::vector<std::string> lines;
    std::ifstream file(m_journal);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> SimTorvex::Calls(std::initializer_list<const char*> names) const {
    std::vector<std::string> calls;
    for (const std::string& line : Journal()) {
        for (const char* name : names) {
            if (line.compare(0, strlen(name) + 1, std::string(name) + "(") == 0)
                calls.push_back(line);
        }
    }
    return calls;
}

// Emptied, not deleted: the library keeps the file open while a program uses it.
void SimTorvex::ClearJournal() const {
    const mirov::UniqueFileHandle file(::CreateFileA(
        m_journal.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string SimTorvex::LibraryPath() {
    return TestFolder::BinFolder() + "Torvex.dll";
}
