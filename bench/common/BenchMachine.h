#pragma once

#include "tests/support/ScratchKey.h"
#include "tests/support/SimTorvex.h"
#include "tests/support/TestFolder.h"
#include "tests/support/WindowProgram.h"

#include <string>

// The two machines the benchmarks run on.
enum class Scenario {
    StateOneLevelThree,  // support state 1, the machine at level 3
    StateThreeUserLevel, // support state 3, the user level 0x8000 with six threshold items and values
};

const char* ScenarioLabel(Scenario scenario);

// The minimal window program the benchmarks compare against (BenchWindow.exe).
constexpr WindowIdentity kBaselineWindow{"TorvexBenchWindow", "Torvex Bench Window"};

// The programs copied into a folder of their own, the simulated library told what machine it is
// (through its own registry key and journal, which the started programs inherit), and the program's
// registry key; everything is removed again when the object goes.
class BenchMachine {
public:
    BenchMachine();
    BenchMachine(const BenchMachine&) = delete;
    BenchMachine& operator=(const BenchMachine&) = delete;

    // False when a copy could not be made.
    bool IsReady() const { return m_ready; }
    // Sets the simulated machine up afresh and empties the journal.
    void Prepare(Scenario scenario);

    std::string HelperExe() const { return m_folder / "TorvexHelp.exe"; }
    std::string BaselineExe() const { return m_folder / "BenchWindow.exe"; }
    const std::string& JournalPath() const { return m_sim.JournalPath(); }

private:
    TestFolder m_folder;
    SimTorvex m_sim;
    ScratchKey m_program;
    bool m_ready = false;
};
