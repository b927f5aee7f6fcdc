#include "tests/system/HelperTestBase.h"
#include "tools/common/HelperWindow.h"

class Faults : public HelperTest {};

TEST_F(Faults, MissingLibraryIsReportedAndTheProgramIdlesUntilAskedToQuit) {
    TestFolder folder(CurrentTestName() + ".bare");
    HelperProcess helper(folder, false);
    ASSERT_TRUE(helper.Start());
    ASSERT_NE(helper.WaitForWindow(), nullptr);
    ASSERT_TRUE(helper.Boxes().WaitForCount(1, 5000));
    const auto box = helper.Boxes().Boxes()[0];
    EXPECT_EQ(box.text, "Can not find " + (folder / "Torvex.dll"));
    EXPECT_EQ(box.caption, "LoadLibrary Error");
    EXPECT_FALSE(box.hasIcon);
    for (WPARAM event : {PBT_APMSUSPEND, PBT_APMRESUMESUSPEND, PBT_APMRESUMECRITICAL})
        EXPECT_EQ(helper.Power(event), 0);
    ASSERT_TRUE(helper.Quit());
    EXPECT_EQ(helper.Process().ExitCode(), 0u); // not an access violation
    EXPECT_EQ(helper.Boxes().Boxes().size(), 1u);
}

TEST_F(Faults, FileThatIsNoLibraryIsReportedAndEndsTheProgram) {
    ASSERT_TRUE(m_folder.WriteFile("Torvex.dll", "MZ but not a library"));
    ASSERT_TRUE(m_helper.Start());
    ASSERT_TRUE(m_helper.Process().Wait(20000));
    EXPECT_EQ(m_helper.Process().ExitCode(), 1u);
    const auto boxes = m_helper.Boxes().Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Can not load " + (m_folder / "Torvex.dll") + ". Program will abort");
    EXPECT_EQ(boxes[0].caption, "LoadLibrary Error");
    EXPECT_TRUE(FindHelperWindows().empty());
}

TEST_F(Faults, LibraryWithoutAnExportEndsWithTheEntryPointCheck) {
    ASSERT_TRUE(m_folder.CopyFromBin("TorvexMissingExport.dll", "Torvex.dll"));
    ASSERT_TRUE(m_helper.Start());
    ASSERT_TRUE(m_helper.Process().Wait(20000));
    EXPECT_EQ(m_helper.Process().ExitCode(), 3u);
    const auto boxes = m_helper.Boxes().Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text.rfind("Assertion failed: m_pTorvexInit != NULL && ", 0), 0u);
    EXPECT_EQ(boxes[0].caption, "TorvexHelp.exe");
    EXPECT_EQ(boxes[1].text, "Abnormal program termination");
}

TEST_F(Faults, UnsupportedMachineGetsPowerEventsAndNothingIsCalled) {
    m_sim.Set("IsSupport", 0);
    StartHelper();
    m_sim.ClearJournal();
    SleepAndWake(3);
    m_helper.Power(PBT_APMRESUMECRITICAL);
    EXPECT_TRUE(m_sim.Journal().empty());
    EXPECT_TRUE(m_helper.Boxes().Boxes().empty());
    ASSERT_TRUE(m_helper.Quit());
    EXPECT_EQ(m_helper.Process().ExitCode(), 0u);
}

TEST_F(Faults, LongExecutablePathStillFindsItsLibrary) {
    std::string deep = m_folder.Path();
    while (deep.size() < 150) {
        deep += "a long folder name\\";
        ASSERT_TRUE(::CreateDirectoryA(deep.c_str(), nullptr));
    }
    ASSERT_TRUE(::CopyFileA((TestFolder::BinFolder() + "TorvexHelp.exe").c_str(),
                            (deep + "TorvexHelp.exe").c_str(), FALSE));
    ASSERT_TRUE(
        ::CopyFileA((TestFolder::BinFolder() + "Torvex.dll").c_str(), (deep + "Torvex.dll").c_str(), FALSE));
    ASSERT_TRUE(m_helper.Start(deep + "TorvexHelp.exe"));
    ASSERT_NE(m_helper.WaitForWindow(), nullptr);
    EXPECT_TRUE(m_helper.Boxes().Boxes().empty());
    SleepAndWake(7);
    EXPECT_EQ(LevelSwitches(), std::vector<std::string>{"TorvexSetLevel(7) = 1"});
}
