// Which power events restore and whether the window is registered, on both kinds of machine: the
// machine's answer is given here, since Wine always reports a classic one.
#include "app/SleepModel.h"
#include "mirov/Handles.h"
#include "tests/support/ImportHook.h"
#include "tools/common/DebugOutputCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

bool ClassicMachine() {
    return false;
}

bool ModernStandbyMachine() {
    return true;
}

mirov::UniqueWindow SomeWindow() {
    return mirov::UniqueWindow(
        ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
}

// Wine's registration always succeeds: a refusing one is handed out in its place.
ImportHook* g_procHook = nullptr;

HPOWERNOTIFY WINAPI RefuseRegistration(HANDLE, DWORD) {
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
}

FARPROC WINAPI ResolveRefusingRegistration(HMODULE module, LPCSTR name) {
    if (!IS_INTRESOURCE(name) && std::strcmp(name, "RegisterSuspendResumeNotification") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&RefuseRegistration));
    return g_procHook->Original<decltype(&ResolveRefusingRegistration)>()(module, name);
}

constexpr DWORD kOtherEvents[] = {PBT_APMQUERYSUSPEND, PBT_APMSUSPEND, PBT_APMPOWERSTATUSCHANGE, 0x8013};

TEST(SleepModel, ClassicMachineWakesOnSixAndSevenAndRegistersNothing) {
    SleepModel model(&ClassicMachine);
    const mirov::UniqueWindow window = SomeWindow();
    ASSERT_TRUE(window);
    EXPECT_FALSE(model.IsModernStandby());
    EXPECT_FALSE(model.Register(window.Get()));
    EXPECT_TRUE(model.IsWake(PBT_APMRESUMESUSPEND));
    EXPECT_TRUE(model.IsWake(PBT_APMRESUMECRITICAL));
    EXPECT_FALSE(model.IsWake(PBT_APMRESUMEAUTOMATIC));
    for (DWORD event : kOtherEvents)
        EXPECT_FALSE(model.IsWake(event)) << event;
}

TEST(SleepModel, ModernStandbyMachineAlsoWakesOnEighteenAndRegistersTheWindow) {
    SleepModel model(&ModernStandbyMachine);
    const mirov::UniqueWindow window = SomeWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(model.IsModernStandby());
    EXPECT_TRUE(model.Register(window.Get())); // Wine's user32 hands out a handle
    EXPECT_TRUE(model.IsWake(PBT_APMRESUMESUSPEND));
    EXPECT_TRUE(model.IsWake(PBT_APMRESUMECRITICAL));
    EXPECT_TRUE(model.IsWake(PBT_APMRESUMEAUTOMATIC));
    for (DWORD event : kOtherEvents)
        EXPECT_FALSE(model.IsWake(event)) << event;
}

TEST(SleepModel, RefusedRegistrationLeavesOneTraceLine) {
    DebugOutputCapture capture;
    ASSERT_TRUE(capture.IsListening());
    ImportHook hook("KERNEL32.dll", "GetProcAddress", &ResolveRefusingRegistration);
    g_procHook = &hook;
    ASSERT_TRUE(hook.IsActive());
    const mirov::UniqueWindow window = SomeWindow();
    ASSERT_TRUE(window);
    {
        SleepModel model(&ModernStandbyMachine);
        EXPECT_FALSE(model.Register(window.Get()));
    }
    const DWORD self = ::GetCurrentProcessId();
    capture.WaitForCount(self, 1, 2000);
    EXPECT_EQ(capture.TextsOf(self),
              std::vector<std::string>{"[SleepModel::Register] failed! GetLastError returned 50\r\n"});
}

} // namespace
