#include "app/ErrorBox.h"

#include "tools/common/MessageBoxWatcher.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace {

// Set by a test on its own thread: every allocation of that thread then fails as it does when
// memory runs out, while other threads (the box watcher's) go on as usual.
thread_local bool t_outOfMemory = false;

} // namespace

void* operator new(std::size_t size) {
    if (!t_outOfMemory) {
        if (void* memory = std::malloc(size ? size : 1))
            return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

TEST(ErrorBox, TitleIsTheFileNameUpToTheFirstFullStopInOneCapital) {
    EXPECT_EQ(ProgramTitle("C:\\Program Files\\Torvex\\TorvexHelp.exe"), "Torvexhelp");
    EXPECT_EQ(ProgramTitle("C:\\a.b\\TORVEX.HELP.exe"), "Torvex");
    EXPECT_EQ(ProgramTitle("helper"), "helper");
}

TEST(ErrorBox, FullStopIsAddedAfterALastByteAboveIt) {
    EXPECT_EQ(ErrorBoxText("Can not create the main window"), "Can not create the main window.");
    EXPECT_EQ(ErrorBoxText("Error 5"), "Error 5.");
    EXPECT_EQ(ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(ErrorBoxText("Stop!"), "Stop!");
    EXPECT_EQ(ErrorBoxText("(see log)"), "(see log)");
    EXPECT_EQ(ErrorBoxText("path/"), "path/."); // '/' comes after the full stop
    EXPECT_EQ(ErrorBoxText(""), "");
    EXPECT_EQ(ErrorBoxText("caf\xE9"), "caf\xE9."); // bytes above 0x7F count as above the full stop
}

TEST(ErrorBox, ShownWithTheErrorIconAndTheProgramTitle) {
    MessageBoxWatcher watcher(::GetCurrentProcessId());
    ShowErrorBox(mirov::Error("Something went wrong"));
    ASSERT_EQ(watcher.Boxes().size(), 1u);
    const auto box = watcher.Boxes()[0];
    EXPECT_EQ(box.text, "Something went wrong.");
    EXPECT_EQ(box.caption, "Torvexunittests");
    EXPECT_TRUE(box.hasIcon);
}

TEST(ErrorBox, WithoutMemoryTheMessageIsShownAsItIsAndNothingIsThrown) {
    MessageBoxWatcher watcher(::GetCurrentProcessId());
    const mirov::Error error("Something went wrong");
    bool threw = false;
    t_outOfMemory = true;
    try {
        ShowErrorBox(error);
    } catch (...) {
        threw = true;
    }
    t_outOfMemory = false;
    EXPECT_FALSE(threw);
    ASSERT_EQ(watcher.Boxes().size(), 1u);
    EXPECT_EQ(watcher.Boxes()[0].text, "Something went wrong");
    EXPECT_TRUE(watcher.Boxes()[0].hasIcon);
}
