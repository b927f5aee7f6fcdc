#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The two machines the benchmarks run on.
enum class Scenario {
    StateOneLevelThree,  // support state 1, the machine at level 3
    StateThreeUserLevel, // support state 3, the user level 0x8000 with six threshold items and values
};

const char* ScenarioLabel(Scenario scenario);

// Registry values saved at construction and put back, exactly, at destruction; a key that did not
// exist is removed again.
class SavedRegistryValues {
public:
    SavedRegistryValues(HKEY root, std::string key, std::vector<std::string> names);
    ~SavedRegistryValues();
    SavedRegistryValues(const SavedRegistryValues&) = delete;
    SavedRegistryValues& operator=(const SavedRegistryValues&) = delete;

private:
    struct Value {
        std::string name;
        bool present = false;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };

    HKEY m_root;
    std::string m_key;
    bool m_keyExisted = false;
    std::vector<Value> m_values;
};

// The programs copied into a folder of their own, the simulated library told what machine it is
// (through its own registry key and journal, which the started programs inherit), and the program's
// registry values; everything is put back when the object goes.
class BenchMachine {
public:
    BenchMachine();
    ~BenchMachine();
    BenchMachine(const BenchMachine&) = delete;
    BenchMachine& operator=(const BenchMachine&) = delete;

    // False when the folder or a copy could not be made.
    bool IsReady() const { return m_ready; }
    // Sets the simulated machine up afresh and empties the journal.
    void Prepare(Scenario scenario);

    std::string HelperExe() const { return m_folder + "TorvexHelp.exe"; }
    std::string BaselineExe() const { return m_folder + "BenchWindow.exe"; }
    const std::string& JournalPath() const { return m_journal; }

private:
    std::string m_folder;
    std::string m_journal;
    SavedRegistryValues m_orvane;
    SavedRegistryValues m_program;
    bool m_ready = false;
};
