#include "tests/system/HelperTestBase.h"

#include <future>

using Keeper = HelperTest;
using Calls = std::vector<std::string>;

namespace {

struct BoxSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectBox(HWND window, LPARAM param) {
    BoxSearch& search = *reinterpret_cast<BoxSearch*>(param);
    char className[16] = {};
    ::GetClassNameA(window, className, sizeof className);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid == search.pid && lstrcmpA(className, "#32770") == 0)
        search.found.push_back(window);
    return TRUE;
}

// The message boxes the process has open: its top-level dialogs.
std::vector<HWND> OpenBoxes(DWORD pid) {
    BoxSearch search{pid, {}};
    ::EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <class Condition> bool WaitUntil(Condition condition, DWORD timeoutMs = 20000) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (::GetTickCount64() > end)
            return false;
        ::Sleep(10);
    }
    return true;
}

} // namespace

TEST_F(Keeper, ResumeRestoresTheLevelOfTheSuspend) {
    StartHelper();
    SleepAndWake(3, PBT_APMRESUMESUSPEND);
    EXPECT_EQ(LevelSwitches(), Calls{"TorvexSetLevel(3) = 1"});
    EXPECT_EQ(m_sim.Get("Level", 0), 3u);

    m_sim.ClearJournal();
    SleepAndWake(5, PBT_APMRESUMECRITICAL);
    EXPECT_EQ(LevelSwitches(), Calls{"TorvexSetLevel(5) = 1"});
}

TEST_F(Keeper, EachResumeEventRestoresAgain) {
    StartHelper();
    SleepAndWake(3, PBT_APMRESUMECRITICAL);
    m_helper.Power(PBT_APMRESUMESUSPEND);
    EXPECT_EQ(LevelSwitches(), (Calls{"TorvexSetLevel(3) = 1", "TorvexSetLevel(3) = 1"}));
}

TEST_F(Keeper, NothingToRestoreAfterLevelZeroAFailedReadOrNoSuspend) {
    StartHelper();
    m_helper.Power(PBT_APMRESUMESUSPEND); // no suspend since start
    SleepAndWake(0);
    m_sim.SetResult("TorvexGetLevel", 0);
    SleepAndWake(4);
    EXPECT_TRUE(LevelSwitches().empty());
}

TEST_F(Keeper, LevelWithTheTopBitSetCountsAsNothingSaved) {
    StartHelper();
    SleepAndWake(0x80000000);
    SleepAndWake(0xFFFFFFFF);
    EXPECT_TRUE(LevelSwitches().empty());
}

TEST_F(Keeper, FailedReadAtTheNextSuspendPreventsAStaleRestore) {
    StartHelper();
    SleepAndWake(3);
    m_sim.SetResult("TorvexGetLevel", 0);
    SleepAndWake(6);
    EXPECT_EQ(LevelSwitches(), Calls{"TorvexSetLevel(3) = 1"});
}

TEST_F(Keeper, AutomaticResumeAloneRestoresNothing) {
    StartHelper();
    m_sim.Set("Level", 3);
    m_helper.Power(PBT_APMSUSPEND);
    m_sim.Set("Level", 1);
    for (WPARAM event : {PBT_APMRESUMEAUTOMATIC, PBT_APMQUERYSUSPEND, PBT_APMPOWERSTATUSCHANGE})
        m_helper.Power(event);
    EXPECT_TRUE(LevelSwitches().empty());
    m_helper.Power(PBT_APMRESUMESUSPEND);
    EXPECT_EQ(LevelSwitches(), Calls{"TorvexSetLevel(3) = 1"});
}

TEST_F(Keeper, UserLevelIsRestoredAndLeftThroughZeroInStatesOneAndTwo) {
    for (int state : {1, 2}) {
        m_sim.SetSupportState(state);
        StartHelper();
        SleepAndWake(0x8000, PBT_APMRESUMESUSPEND, 1); // an ordinary level at wake: direct switch
        EXPECT_EQ(LevelSwitches(), Calls{"TorvexSetLevel(32768) = 1"}) << "state " << state;

        m_sim.ClearJournal();
        m_helper.Power(PBT_APMRESUMESUSPEND); // still at 0x8000: leave it through 0 first
        EXPECT_EQ(LevelSwitches(), (Calls{"TorvexSetLevel(0) = 1", "TorvexSetLevel(32768) = 1"}))
            << "state " << state;
        ASSERT_TRUE(m_helper.Quit());
        m_sim.ClearJournal();
    }
}

TEST_F(Keeper, ThermostatMachineIsNeverTouched) {
    m_sim.SetResult("IsThermostatSupported", 1);
    StartHelper();
    SleepAndWake(3, PBT_APMRESUMESUSPEND);
    SleepAndWake(3, PBT_APMRESUMECRITICAL);
    EXPECT_TRUE(m_sim.Calls({"TorvexGetLevel", "TorvexSetLevel"}).empty());
}

TEST_F(Keeper, WakeHandledInsideAnOpenBoxLeavesTheLevelOfTheLatestSleep) {
    m_sim.SetSupportState(3);
    m_sim.SetItem(0x0B060002, "Readable", 0); // each restore first shows a box and waits on it
    StartHelper();
    m_helper.Boxes().SetPressDelay(2000);
    m_sim.Set("Level", 3);
    m_helper.Power(PBT_APMSUSPEND);
    m_sim.Set("Level", 1);
    auto outer = std::async(std::launch::async, [this] { return m_helper.Power(PBT_APMRESUMESUSPEND); });
    ASSERT_TRUE(m_helper.Boxes().WaitForCount(1, 10000));
    SleepAndWake(5); // the user picked 5 and slept again while the first box was open
    EXPECT_EQ(outer.get(), 0);
    EXPECT_EQ(m_sim.Get("Level", 0), 5u);
    EXPECT_EQ(LevelSwitches().back(), "TorvexSetLevel(5) = 1");
}

TEST_F(Keeper, ThousandWakesBehindAnOpenBoxOpenNoBoxOfTheirOwnAndRestoreOnceMore) {
    m_sim.SetSupportState(3);
    m_sim.SetItem(0x0B060002, "Readable", 0); // each restore first shows a box and waits on it
    StartHelper();
    m_helper.Boxes().SetPressDelay(INFINITE); // answered here, one at a time
    const DWORD pid = m_helper.Process().Pid();
    const HWND window = m_helper.Window();
    m_sim.Set("Level", 3);
    m_helper.Power(PBT_APMSUSPEND);
    m_sim.Set("Level", 1);
    ASSERT_TRUE(::PostMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0));
    ASSERT_TRUE(m_helper.Boxes().WaitForCount(1, 20000));
    ASSERT_EQ(OpenBoxes(pid).size(), 1u);
    const HWND first = OpenBoxes(pid).front();

    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(::PostMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0));
    // Posted after the wakes to the same thread: the box closes only once every wake was handled.
    ASSERT_TRUE(::PostMessageA(first, WM_COMMAND, IDOK, 0));
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(first); })) << OpenBoxes(pid).size() << " boxes open";

    // The restore set 3, and goes once more for all the wakes it waited behind, with one box.
    ASSERT_TRUE(m_helper.Boxes().WaitForCount(2, 20000));
    EXPECT_EQ(OpenBoxes(pid).size(), 1u);
    EXPECT_EQ(LevelSwitches(), Calls{"TorvexSetLevel(3) = 1"});
    EXPECT_EQ(m_sim.Get("Level", 0), 3u);

    // The quit request closes the box that waits and ends the program.
    ASSERT_TRUE(m_helper.Quit());
    EXPECT_EQ(m_helper.Process().ExitCode(), 0u);
    EXPECT_EQ(LevelSwitches(), (Calls{"TorvexSetLevel(3) = 1", "TorvexSetLevel(3) = 1"}));
    EXPECT_EQ(m_helper.Boxes().Boxes().size(), 2u);
}

TEST_F(Keeper, SleepWithoutAWakeInsideAnOpenBoxLeavesTheLevelOfThatSleep) {
    m_sim.SetSupportState(3);
    m_sim.SetItem(kFeatureSwitch, "Readable", 0); // the restore first shows a box and waits on it
    StartHelper();
    m_helper.Boxes().SetPressDelay(INFINITE); // answered here
    m_sim.Set("Level", 3);
    m_helper.Power(PBT_APMSUSPEND);
    m_sim.Set("Level", 1);
    auto outer = std::async(std::launch::async, [this] { return m_helper.Power(PBT_APMRESUMESUSPEND); });
    ASSERT_TRUE(m_helper.Boxes().WaitForCount(1, 20000));
    const std::vector<HWND> boxes = OpenBoxes(m_helper.Process().Pid());
    ASSERT_EQ(boxes.size(), 1u);
    m_sim.SetItem(kFeatureSwitch, "Readable", 1); // no box on the way back

    // The user picked 5 and the machine slept again while the box was open; no wake was reported.
    m_sim.Set("Level", 5);
    EXPECT_EQ(m_helper.Power(PBT_APMSUSPEND), 0);
    ASSERT_TRUE(::PostMessageA(boxes.front(), WM_COMMAND, IDOK, 0));
    EXPECT_EQ(outer.get(), 0);
    EXPECT_EQ(LevelSwitches(), (Calls{"TorvexSetLevel(3) = 1", "TorvexSetLevel(5) = 1"}));
    EXPECT_EQ(m_sim.Get("Level", 0), 5u);
}

TEST_F(Keeper, QuitRequestInsideAnOpenBoxLeavesTheRestoreNoFurtherRound) {
    m_sim.SetSupportState(3);
    m_sim.SetItem(kFeatureSwitch, "Readable", 0); // the restore first shows a box and waits on it
    StartHelper();
    m_helper.Boxes().SetPressDelay(INFINITE); // closed by the quit request alone
    m_sim.Set("Level", 3);
    m_helper.Power(PBT_APMSUSPEND);
    m_sim.Set("Level", 1);
    ASSERT_TRUE(::PostMessageA(m_helper.Window(), WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0));
    ASSERT_TRUE(m_helper.Boxes().WaitForCount(1, 20000));
    m_sim.SetItem(kFeatureSwitch, "Readable", 1); // a further round would show no box

    // A wake behind the box asks for one more round; the quit request, handled in the box, ends it.
    EXPECT_EQ(m_helper.Power(PBT_APMRESUMESUSPEND), 0);
    ASSERT_TRUE(m_helper.Quit());
    EXPECT_EQ(m_helper.Process().ExitCode(), 0u);
    // The switch the box held up is finished, and none follows.
    EXPECT_EQ(LevelSwitches(), Calls{"TorvexSetLevel(3) = 1"});
    EXPECT_EQ(m_helper.Boxes().Boxes().size(), 1u);
}
