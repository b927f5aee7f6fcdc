// Which power events restore and whether the window is registered, on both kinds of machine: the
// machine's answer is given here, since Wine always reports a classic one.
#include "app/SleepModel.h"
#include "mirov/Handles.h"

#include <gtest/gtest.h>

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

} // namespace
