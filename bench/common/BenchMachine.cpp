#include "BenchMachine.h"

#include "Programs.h"
#include "SimConfig.h"
#include "mirov/Handles.h"

#include <cstdio>

namespace {

constexpr char kSimKey[] = "Software\\TorvexSim\\Bench";
constexpr char kOrvaneKey[] = "Software\\Orvane";
constexpr char kProgramKey[] = "Software\\Orvane\\TORVEX3";
constexpr DWORD kItemCapability = 0x0B060003;
constexpr DWORD kUserLevel = 0x8000;
constexpr DWORD kThresholds[] = {30, 40, 50, 60, 70, 80};
const char* const kProgramFiles[] = {"TorvexHelp.exe", "Torvex.dll", "BenchWindow.exe"};

std::vector<std::string> ProgramValueNames() {
    std::vector<std::string> names{"LastMode"};
    for (int i = 1; i <= 6; ++i)
        names.push_back("Threshold" + std::to_string(i));
    return names;
}

std::string BenchFolder() {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "torvex-bench\\";
}

// The folder holds only the copies and the journal: no sub-folders.
void RemoveFolder(const std::string& folder) {
    WIN32_FIND_DATAA data;
    mirov::UniqueFindHandle find(::FindFirstFileA((folder + "*").c_str(), &data));
    for (bool more = find.IsValid(); more; more = ::FindNextFileA(find.Get(), &data) != 0) {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ::DeleteFileA((folder + data.cFileName).c_str());
    }
    find.Reset();
    ::RemoveDirectoryA(folder.c_str());
}

void WriteThresholds() {
    mirov::UniqueHkey key;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProgramKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(),
                          nullptr) != ERROR_SUCCESS)
        return;
    for (size_t i = 0; i < 6; ++i) {
        const std::string name = "Threshold" + std::to_string(i + 1);
        ::RegSetValueExA(key.Get(), name.c_str(), 0, REG_DWORD,
                         reinterpret_cast<const BYTE*>(&kThresholds[i]), sizeof kThresholds[i]);
    }
}

} // namespace

const char* ScenarioLabel(Scenario scenario) {
    return scenario == Scenario::StateOneLevelThree ? "state 1, level 3"
                                                    : "state 3, user level, 6 thresholds";
}

SavedRegistryValues::SavedRegistryValues(HKEY root, std::string key, std::vector<std::string> names)
    : m_root(root), m_key(std::move(key)) {
    mirov::UniqueHkey open;
    m_keyExisted = ::RegOpenKeyExA(m_root, m_key.c_str(), 0, KEY_QUERY_VALUE, open.Put()) == ERROR_SUCCESS;
    for (std::string& name : names) {
        Value value;
        value.name = std::move(name);
        DWORD size = 0;
        if (m_keyExisted && ::RegQueryValueExA(open.Get(), value.name.c_str(), nullptr, &value.type, nullptr,
                                               &size) == ERROR_SUCCESS) {
            value.data.resize(size);
            value.present = ::RegQueryValueExA(open.Get(), value.name.c_str(), nullptr, &value.type,
                                               value.data.data(), &size) == ERROR_SUCCESS;
            value.data.resize(size);
        }
        m_values.push_back(std::move(value));
    }
}

SavedRegistryValues::~SavedRegistryValues() {
    if (!m_keyExisted) {
        ::RegDeleteTreeA(m_root, m_key.c_str());
        return;
    }
    mirov::UniqueHkey key;
    if (::RegOpenKeyExA(m_root, m_key.c_str(), 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS)
        return;
    for (const Value& value : m_values) {
        if (value.present)
            ::RegSetValueExA(key.Get(), value.name.c_str(), 0, value.type, value.data.data(),
                             static_cast<DWORD>(value.data.size()));
        else
            ::RegDeleteValueA(key.Get(), value.name.c_str());
    }
}

BenchMachine::BenchMachine()
    : m_folder(BenchFolder()), m_journal(m_folder + "bench.journal"),
      m_orvane(HKEY_LOCAL_MACHINE, kOrvaneKey, {}),
      m_program(HKEY_LOCAL_MACHINE, kProgramKey, ProgramValueNames()) {
    RemoveFolder(m_folder);
    ::CreateDirectoryA(m_folder.c_str(), nullptr);
    m_ready = true;
    for (const char* file : kProgramFiles)
        m_ready = m_ready && ::CopyFileA((OwnFolder() + file).c_str(), (m_folder + file).c_str(), FALSE);
    // Inherited by every program started from here on, the library inside them included.
    ::SetEnvironmentVariableA("TORVEX_SIM_KEY", kSimKey);
    ::SetEnvironmentVariableA("TORVEX_SIM_JOURNAL", m_journal.c_str());
}

BenchMachine::~BenchMachine() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kSimKey);
    RemoveFolder(m_folder);
}

void BenchMachine::Prepare(Scenario scenario) {
    const bool three = scenario == Scenario::StateThreeUserLevel;
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kSimKey);
    SimConfig::Write("IsSupport", 1);
    SimConfig::WriteItem(kItemCapability, "Value", three ? 2 : 0);
    SimConfig::Write("Level", three ? kUserLevel : 3);
    if (three)
        WriteThresholds();
    ::DeleteFileA(m_journal.c_str());
}
