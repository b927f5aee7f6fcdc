#include "mirov/Contract.h"
#include "tests/system/HelperTestBase.h"
#include "tools/common/HelperWindow.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using Startup = HelperTest;

TEST_F(Startup, OneHiddenTopLevelWindowOfItsOwn) {
    StartHelper();
    const HWND window = m_helper.Window();
    EXPECT_EQ(FindHelperWindows().size(), 1u);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_EQ(::GetAncestor(window, GA_PARENT), ::GetDesktopWindow());
    EXPECT_EQ(::GetWindow(window, GW_CHILD), nullptr);
    EXPECT_EQ(::GetMenu(window), nullptr);
    RECT rect = {};
    ::GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 425);
    EXPECT_EQ(rect.top, 260);
    EXPECT_EQ(rect.right - rect.left, 250);
    EXPECT_EQ(rect.bottom - rect.top, 160);

    // Start-up asks the controller in its order, before the window exists, and shows nothing.
    const auto journal = m_sim.Journal();
    ASSERT_GE(journal.size(), 4u);
    EXPECT_EQ(journal.front(), "TorvexInit() = 1");
    EXPECT_EQ(journal.back(), "IsThermostatSupported() = 0");
    EXPECT_TRUE(m_helper.Boxes().Boxes().empty());

    // Still hidden after handling messages.
    m_helper.Power(PBT_APMQUERYSUSPEND);
    EXPECT_FALSE(::IsWindowVisible(window));
}

TEST_F(Startup, SecondStartEndsAtOnceAndANewStartWorksAfterTheFirstEnds) {
    StartHelper();
    const size_t callsOfFirst = m_sim.Journal().size();

    ChildProcess second;
    ASSERT_TRUE(second.Start(m_helper.ExePath(), "", m_folder.Path()));
    ASSERT_TRUE(second.Wait(20000));
    EXPECT_EQ(second.ExitCode(), 0u);
    EXPECT_EQ(FindHelperWindows().size(), 1u);
    EXPECT_EQ(m_sim.Journal().size(), callsOfFirst); // the second never loaded the library
    EXPECT_TRUE(m_helper.Process().IsRunning());

    // Opens by its designed name, which other programs of the vendor may look for.
    mirov::UniqueHandle mutex(::OpenMutexA(SYNCHRONIZE, FALSE, contract::kInstanceMutex));
    EXPECT_TRUE(mutex);
    mutex.Reset();

    ASSERT_TRUE(m_helper.Quit());
    ChildProcess third;
    ASSERT_TRUE(third.Start(m_helper.ExePath(), "", m_folder.Path()));
    EXPECT_NE(WaitForHelperWindow(third.Pid(), 20000), nullptr);
    ::PostMessageA(WaitForHelperWindow(third.Pid(), 0), contract::kQuitMessage, contract::kQuitRequest, 0);
    EXPECT_TRUE(third.Wait(20000));
    EXPECT_EQ(third.ExitCode(), 0u);
}

TEST_F(Startup, OnlyTheLowByte0x55OfTheQuitRequestEndsTheProgram) {
    StartHelper();
    for (WPARAM ignored : {WPARAM(0x75), WPARAM(0x54), WPARAM(0), WPARAM(0x5500)}) {
        m_helper.Send(WM_USER, ignored);
        EXPECT_FALSE(m_helper.Process().Wait(300)) << "ended on wParam " << ignored;
    }
    m_helper.Send(WM_USER, 0x0155);
    ASSERT_TRUE(m_helper.Process().Wait(20000));
    EXPECT_EQ(m_helper.Process().ExitCode(), 0u);
}

TEST_F(Startup, QuitRequestOf0x55EndsWithExitCodeZero) {
    StartHelper();
    ASSERT_TRUE(m_helper.Quit());
    EXPECT_EQ(m_helper.Process().ExitCode(), 0u);
    EXPECT_TRUE(FindHelperWindows().empty());
}

TEST_F(Startup, CloseEndsTheProgramLikeTheQuitRequest) {
    StartHelper();
    EXPECT_EQ(m_helper.Send(WM_CLOSE, 0), 0);
    ASSERT_TRUE(m_helper.Process().Wait(20000));
    EXPECT_EQ(m_helper.Process().ExitCode(), 0u);
}

TEST_F(Startup, PowerBroadcastsAlwaysAnswerZero) {
    StartHelper();
    for (WPARAM event : {0, 4, 7, 10, 18})
        EXPECT_EQ(m_helper.Power(event), 0) << "event " << event;
    EXPECT_TRUE(m_helper.Process().IsRunning());
}

TEST_F(Startup, NothingAnotherProgramSendsShowsTheWindow) {
    StartHelper();
    const HWND window = m_helper.Window();
    const UINT showPos = SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
    const std::vector<std::pair<const char*, std::function<void()>>> attempts = {
        {"SC_RESTORE", [&] { m_helper.Send(WM_SYSCOMMAND, SC_RESTORE); }},
        {"SC_MAXIMIZE", [&] { m_helper.Send(WM_SYSCOMMAND, SC_MAXIMIZE); }},
        {"SW_SHOWNORMAL", [&] { ::ShowWindow(window, SW_SHOWNORMAL); }},
        {"SW_SHOWMAXIMIZED", [&] { ::ShowWindow(window, SW_SHOWMAXIMIZED); }},
        {"SWP_SHOWWINDOW", [&] { ::SetWindowPos(window, nullptr, 0, 0, 0, 0, showPos); }},
        {"SWP_NOSENDCHANGING",
         [&] { ::SetWindowPos(window, nullptr, 0, 0, 0, 0, showPos | SWP_NOSENDCHANGING); }},
    };
    for (const auto& attempt : attempts) {
        attempt.second();
        EXPECT_FALSE(::IsWindowVisible(window)) << attempt.first;
        ::ShowWindow(window, SW_HIDE); // each attempt starts from a hidden window
    }
    // Still the same window, answering as before.
    EXPECT_EQ(FindHelperWindows(), std::vector<HWND>{window});
    EXPECT_EQ(m_helper.Power(PBT_APMQUERYSUSPEND), 0);
}

TEST_F(Startup, RedrawAndVisibleStyleFromAnotherProgramLeaveTheWindowHidden) {
    StartHelper();
    const HWND window = m_helper.Window();
    const auto levelReads = [this] { return m_sim.Calls({"TorvexGetLevel"}).size(); };

    // Posted, as any program may; the suspend posted after it is handled only once it has been.
    m_sim.Set("Level", 3);
    ::PostMessageA(window, WM_SETREDRAW, TRUE, 0);
    ::PostMessageA(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    for (int waited = 0; levelReads() == 0 && waited < 10000; waited += 10)
        ::Sleep(10);
    ASSERT_EQ(levelReads(), 1u);
    EXPECT_FALSE(::IsWindowVisible(window)) << "WM_SETREDRAW";

    const LONG_PTR style = ::GetWindowLongPtrA(window, GWL_STYLE);
    ::SetWindowLongPtrA(window, GWL_STYLE, style | WS_VISIBLE);
    EXPECT_FALSE(::IsWindowVisible(window)) << "GWL_STYLE";
    ::SetWindowPos(window, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_FALSE(::IsWindowVisible(window)) << "GWL_STYLE and SWP_FRAMECHANGED";
    ::Sleep(500);
    EXPECT_FALSE(::IsWindowVisible(window)) << "later";

    // Still at work: the wake restores the level of the suspend, and the quit request ends it.
    m_sim.Set("Level", 1);
    EXPECT_EQ(m_helper.Power(PBT_APMRESUMESUSPEND), 0);
    EXPECT_EQ(LevelSwitches(), std::vector<std::string>{"TorvexSetLevel(3) = 1"});
    ASSERT_TRUE(m_helper.Quit());
    EXPECT_EQ(m_helper.Process().ExitCode(), 0u);
}

TEST_F(Startup, EndOfTheLogonEndsWithExitCodeZeroWithoutSavingOrRestoring) {
    StartHelper();
    SleepAndWake(3); // a level is saved that a restore could set
    m_sim.ClearJournal();

    EXPECT_NE(m_helper.Send(WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 0); // consents
    m_helper.Send(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    ASSERT_TRUE(m_helper.Process().Wait(20000));
    EXPECT_EQ(m_helper.Process().ExitCode(), 0u);
    EXPECT_TRUE(m_sim.Calls({"TorvexGetLevel", "TorvexSetLevel"}).empty());
}

TEST_F(Startup, CreationMessagesFromAnotherProgramChangeNothing) {
    StartHelper();
    const HWND window = m_helper.Window();
    // A pointer made up by the sender (0x41414141 in the x86 build): it means nothing in the program.
    void* const madeUp = reinterpret_cast<void*>(static_cast<uintptr_t>(0x4141414141414141ull));
    for (void* params : {static_cast<void*>(nullptr), madeUp}) {
        CREATESTRUCTA create = {};
        create.lpCreateParams = params;
        create.lpszClass = contract::kWindowClass;
        create.lpszName = "Taken over";
        m_helper.Send(WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create));
        m_helper.Send(WM_CREATE, 0, reinterpret_cast<LPARAM>(&create));
    }
    m_helper.Send(WM_NCDESTROY, 0);
    m_helper.Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Taken over"));

    // Found as before, and at work: a sleep at 3 and a wake at 1 restore 3; the quit request ends it.
    EXPECT_EQ(FindHelperWindows(), std::vector<HWND>{window});
    SleepAndWake(3);
    EXPECT_EQ(LevelSwitches(), std::vector<std::string>{"TorvexSetLevel(3) = 1"});
    ASSERT_TRUE(m_helper.Quit());
    EXPECT_EQ(m_helper.Process().ExitCode(), 0u);
}

TEST_F(Startup, NcDestroyFromAnotherProgramIsNotTheEndOfTheWindow) {
    StartHelper();
    const HWND window = m_helper.Window();
    const auto levelReads = [this] { return m_sim.Calls({"TorvexGetLevel"}).size(); };

    // Sent, then posted; the suspend posted after it is handled only once it has been.
    m_helper.Send(WM_NCDESTROY, 0);
    m_sim.Set("Level", 3);
    ASSERT_TRUE(::PostMessageA(window, WM_NCDESTROY, 0, 0));
    ASSERT_TRUE(::PostMessageA(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0));
    for (int waited = 0; levelReads() == 0 && waited < 10000; waited += 10)
        ::Sleep(10);
    ASSERT_EQ(levelReads(), 1u) << "the loop ended";

    // The title as the window itself answers it: the default handling of WM_NCDESTROY frees it.
    char title[32] = {};
    EXPECT_EQ(m_helper.Send(WM_GETTEXT, sizeof title, reinterpret_cast<LPARAM>(title)), 11);
    EXPECT_STREQ(title, contract::kWindowTitle);

    // Still at work, and still ends on the quit request alone.
    m_sim.Set("Level", 1);
    EXPECT_EQ(m_helper.Power(PBT_APMRESUMESUSPEND), 0);
    EXPECT_EQ(LevelSwitches(), std::vector<std::string>{"TorvexSetLevel(3) = 1"});
    EXPECT_TRUE(m_helper.Process().IsRunning());
    ASSERT_TRUE(m_helper.Quit());
    EXPECT_EQ(m_helper.Process().ExitCode(), 0u);
}

TEST_F(Startup, CancelledEndOfTheLogonEndsNothing) {
    StartHelper();
    EXPECT_NE(m_helper.Send(WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 0); // consents
    m_helper.Send(WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF); // another program refused: the logon goes on

    // Still at work, and still ends on the quit request.
    SleepAndWake(3);
    EXPECT_EQ(LevelSwitches(), std::vector<std::string>{"TorvexSetLevel(3) = 1"});
    EXPECT_FALSE(m_helper.Process().Wait(1000)) << "ended on a cancelled end of the logon";
    ASSERT_TRUE(m_helper.Quit());
    EXPECT_EQ(m_helper.Process().ExitCode(), 0u);
}
