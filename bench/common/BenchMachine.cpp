#include "bench/common/BenchMachine.h"

#include "mirov/Contract.h"

namespace {

constexpr char kSimName[] = "Bench";
constexpr DWORD kUserLevel = 0x8000;
constexpr DWORD kThresholds[] = {30, 40, 50, 60, 70, 80};
const char* const kProgramFiles[] = {"TorvexHelp.exe", "Torvex.dll", "BenchWindow.exe"};

} // namespace

const char* ScenarioLabel(Scenario scenario) {
    return scenario == Scenario::StateOneLevelThree ? "state 1, level 3"
                                                    : "state 3, user level, 6 thresholds";
}

BenchMachine::BenchMachine() : m_folder("bench"), m_sim(kSimName), m_program(contract::kThresholdKey) {
    m_ready = true;
    for (const char* file : kProgramFiles)
        m_ready = m_ready && m_folder.CopyFromBin(file);
}

void BenchMachine::Prepare(Scenario scenario) {
    const bool three = scenario == Scenario::StateThreeUserLevel;
    m_sim.Reset();
    m_sim.SetSupportState(three ? 3 : 1);
    m_sim.Set("Level", three ? kUserLevel : 3);
    if (!three)
        return;
    for (size_t i = 0; i < 6; ++i)
        m_program.SetDword(("Threshold" + std::to_string(i + 1)).c_str(), kThresholds[i]);
}
