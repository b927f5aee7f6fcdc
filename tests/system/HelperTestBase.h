#pragma once

#include "mirov/Contract.h"
#include "tests/support/HelperProcess.h"
#include "tests/support/ScratchKey.h"
#include "tests/support/SimTorvex.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// One scenario with the real program: its own folder, simulated machine and process.
class HelperTest : public ::testing::Test {
protected:
    HelperTest()
        : m_programKey(contract::kThresholdKey), m_sim(CurrentTestName()), m_folder(CurrentTestName()),
          m_helper(m_folder) {}

    void TearDown() override;

    // Starts the program and waits for its window.
    void StartHelper();
    // Suspend at `level` (the firmware's level at that moment), then one resume event.
    void SleepAndWake(DWORD level, WPARAM resumeEvent = PBT_APMRESUMESUSPEND, DWORD levelAtWake = 1);
    std::vector<std::string> LevelSwitches() const { return m_sim.Calls({"TorvexSetLevel"}); }

    // Neither thresholds nor a record from another scenario, and none left for the next: the program
    // records the level it restores.
    ScratchKey m_programKey;
    SimTorvex m_sim;
    TestFolder m_folder;
    HelperProcess m_helper;
};
