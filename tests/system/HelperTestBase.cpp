#include "tests/system/HelperTestBase.h"

void HelperTest::TearDown() {
    // Every scenario leaves no process behind, whatever it asserted.
    if (m_helper.Process().IsRunning() && m_helper.Window())
        m_helper.Quit(5000);
    m_helper.Process().Kill();
}

void HelperTest::StartHelper() {
    ASSERT_TRUE(m_helper.Start()) << "error " << ::GetLastError() << " starting " << m_helper.ExePath();
    ASSERT_NE(m_helper.WaitForWindow(), nullptr) << "no window";
}

void HelperTest::SleepAndWake(DWORD level, WPARAM resumeEvent, DWORD levelAtWake) {
    m_sim.Set("Level", level);
    EXPECT_EQ(m_helper.Power(PBT_APMSUSPEND), 0);
    m_sim.Set("Level", levelAtWake); // as firmware may do on wake
    EXPECT_EQ(m_helper.Power(resumeEvent), 0);
}
