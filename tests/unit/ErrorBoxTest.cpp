#include "app/ErrorBox.h"

#include "tools/common/MessageBoxWatcher.h"

#include <gtest/gtest.h>

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
