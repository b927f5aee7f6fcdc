#include "level/VeltraDll.h"

#include "tests/support/SimTorvex.h"
#include "tests/support/SimVeltraDll.h"
#include "tests/support/TestFolder.h"
#include "tests/unit/Probes.h"
#include "tools/common/MessageBoxWatcher.h"

#include <gtest/gtest.h>

namespace {

std::string SimPath() {
    return SimTorvex::LibraryPath();
}

int StateOf(VeltraDll& dll) {
    if (!dll.IsSupported())
        return 0;
    if (dll.IsSupportedThreeEx())
        return 4;
    if (dll.IsSupportedThree())
        return 3;
    return dll.IsSupportedTwo() ? 2 : 1;
}

int StateForCapability(SimTorvex& sim, DWORD capability) {
    sim.SetItem(kItemCapability, "Value", capability);
    SimVeltraDll dll(SimPath());
    EXPECT_TRUE(dll.Init());
    return StateOf(dll);
}

} // namespace

TEST(VeltraDll, CapabilityDecidesTheSupportState) {
    SimTorvex sim(CurrentTestName());
    const std::pair<DWORD, int> table[] = {{0, 1}, {1, 2},  {2, 3},  {3, 3},  {4, 4},
                                           {8, 4}, {12, 4}, {16, 3}, {17, 3}, {20, 4}};
    for (const auto& [capability, state] : table)
        EXPECT_EQ(StateForCapability(sim, capability), state) << "capability " << capability;
}

TEST(VeltraDll, SupportReportOtherThanOneMeansNoSupport) {
    SimTorvex sim(CurrentTestName());
    sim.SetItem(kItemCapability, "Value", 4);
    sim.Set("IsSupport", 2);
    EXPECT_EQ(StateForCapability(sim, 4), 0);
    sim.Set("IsSupport", 1);
    sim.SetResult("TorvexIsSupport", 0);
    EXPECT_EQ(StateForCapability(sim, 4), 0);
}

TEST(VeltraDll, UnsupportedOrUnreadableCapabilityGivesStateOne) {
    SimTorvex sim(CurrentTestName());
    sim.SetItem(kItemCapability, "Supported", 0);
    EXPECT_EQ(StateForCapability(sim, 4), 1);
    EXPECT_TRUE(sim.Calls({"TorvexGetItem"}).empty());

    sim.SetItem(kItemCapability, "Supported", 1);
    sim.SetItem(kItemCapability, "Readable", 0);
    sim.ClearJournal();
    EXPECT_EQ(StateForCapability(sim, 4), 1);
    EXPECT_EQ(sim.Calls({"TorvexGetItem"}), (std::vector<std::string>{"TorvexGetItem(0x0B060003, &-) = 0"}));
}

TEST(VeltraDll, InitAnswersTheLibraryButClassifiesAnyway) {
    SimTorvex sim(CurrentTestName());
    sim.SetResult("TorvexInit", 0);
    sim.SetItem(kItemCapability, "Value", 2);
    SimVeltraDll dll(SimPath());
    EXPECT_FALSE(dll.Init());
    EXPECT_EQ(StateOf(dll), 3);
    EXPECT_EQ(sim.Journal().front(), "TorvexInit() = 0");
}

TEST(VeltraDll, CapabilityEightOnlyInStateFourAndExactlyEight) {
    SimTorvex sim(CurrentTestName());
    sim.SetItem(kItemCapability, "Value", 8);
    SimVeltraDll four(SimPath());
    four.Init();
    EXPECT_TRUE(four.IsCapabilityEight());
    sim.SetItem(kItemCapability, "Value", 12);
    EXPECT_FALSE(four.IsCapabilityEight());
    sim.SetItem(kItemCapability, "Readable", 0);
    EXPECT_FALSE(four.IsCapabilityEight());

    sim.SetItem(kItemCapability, "Readable", 1);
    sim.SetItem(kItemCapability, "Value", 2);
    SimVeltraDll three(SimPath());
    three.Init();
    sim.ClearJournal();
    EXPECT_FALSE(three.IsCapabilityEight());
    EXPECT_TRUE(sim.Journal().empty());
}

TEST(VeltraDll, YesNeedsTheCallToSucceedAndReportOne) {
    SimTorvex sim(CurrentTestName());
    SimVeltraDll dll(SimPath());
    dll.Init();
    sim.Set("CheckReboot", 1);
    EXPECT_TRUE(dll.CheckReboot(-5));
    sim.Set("CheckReboot", 2);
    EXPECT_FALSE(dll.CheckReboot(7));
    sim.Set("CheckReboot", 1);
    sim.SetResult("TorvexCheckReboot", 0);
    EXPECT_FALSE(dll.CheckReboot(7));
    EXPECT_EQ(sim.Calls({"TorvexCheckReboot"}),
              (std::vector<std::string>{"TorvexCheckReboot(-5, &1) = 1", "TorvexCheckReboot(7, &2) = 1",
                                        "TorvexCheckReboot(7, &-) = 0"}));

    sim.Set("CheckOC", 1);
    EXPECT_TRUE(dll.CheckOC());
    sim.Set("CheckOC", 0);
    EXPECT_FALSE(dll.CheckOC());
}

TEST(VeltraDll, YesNoResultsAreOneByte) {
    SimTorvex sim(CurrentTestName());
    sim.SetResult("IsLulloSupported", 0x100); // the low byte says no, whatever lies above it
    SimVeltraDll dll;
    ASSERT_TRUE(dll.Init());
    EXPECT_FALSE(dll.IsLulloSupported());
}

TEST(VeltraDll, PassThroughsKeepArgumentsAndResults) {
    SimTorvex sim(CurrentTestName());
    SimVeltraDll dll(SimPath());
    dll.Init();
    sim.ClearJournal();
    sim.SetResult("TorvexButtonEnable", 77);
    sim.SetResult("SetItemEx", 0xFFFFFFFF);
    sim.SetResult("GetStringList", 12);
    sim.SetResult("GetItemDefaultValue", 9);
    sim.SetResult("GetItemInformation", 2); // any non-zero byte is true
    sim.SetResult("IsPindleSupported", 0);
    EXPECT_EQ(dll.ButtonEnable(), 77u);
    EXPECT_EQ(dll.SetItemEx(1, 2, 3), 0xFFFFFFFFu);
    EXPECT_EQ(dll.GetStringList(4, 5, 6, 7), 12u);
    EXPECT_EQ(dll.GetItemDefaultValue(8, 9), 9u);
    EXPECT_TRUE(dll.GetItemInformation(10, 11));
    EXPECT_FALSE(dll.IsPindleSupported());
    EXPECT_TRUE(dll.IsLulloSupported());
    EXPECT_TRUE(dll.IsFanControlSupported());
    EXPECT_TRUE(dll.IsVexaSupported());
    EXPECT_TRUE(dll.IsVexaTwoSupported());
    EXPECT_TRUE(dll.IsVexaThreeSupported());
    EXPECT_TRUE(dll.IsNitrelSupported());
    EXPECT_TRUE(dll.IsWhirroThreeSupported());
    EXPECT_FALSE(dll.IsThermostatSupported());
    ItemValue value = 0;
    sim.SetItem(0x12345678, "Value", 42);
    EXPECT_TRUE(dll.GetItem(0x12345678, value));
    EXPECT_EQ(value, 42u);
    EXPECT_TRUE(dll.SetItem(0x12345678, 43));
    EXPECT_EQ(sim.ItemValue(0x12345678), 43u);
    sim.SetItem(0x12345678, "Supported", 0);
    EXPECT_FALSE(dll.IsItemSupported(0x12345678));

    const auto journal = sim.Journal();
    const std::vector<std::string> head(journal.begin(), journal.begin() + 6);
    EXPECT_EQ(head,
              (std::vector<std::string>{"TorvexButtonEnable() = 77", "SetItemEx(1, 2, 3) = 4294967295",
                                        "GetStringList(4, 5, 6, 7) = 12", "GetItemDefaultValue(8, 9) = 9",
                                        "GetItemInformation(10, 11) = 2", "IsPindleSupported() = 0"}));
}

TEST(VeltraDll, LibraryPathIsBesideTheExecutableOrInItsSubFolder) {
    EXPECT_EQ(VeltraDll().GetDllPath(), TestFolder::BinFolder() + "Torvex.dll");
    EXPECT_EQ(VeltraDll("Torvex").GetDllPath(), TestFolder::BinFolder() + "Torvex\\Torvex.dll");
}

namespace {

// A controller whose library cannot be found answers everything with false or 0 and calls nothing.
void ExpectUnbound(VeltraDll& dll) {
    ItemValue value = 5;
    EXPECT_FALSE(dll.IsSupported());
    EXPECT_FALSE(dll.IsThermostatSupported());
    EXPECT_FALSE(dll.CheckOC());
    EXPECT_FALSE(dll.CheckReboot(1));
    EXPECT_FALSE(dll.SetLevel(3));
    EXPECT_FALSE(dll.SetLevelByItem(3));
    EXPECT_FALSE(dll.GetItem(kItemCapability, value));
    EXPECT_EQ(value, 5u);
    EXPECT_FALSE(dll.SetItem(kItemCapability, 1));
    EXPECT_FALSE(dll.IsItemSupported(kItemCapability));
    EXPECT_FALSE(dll.IsCapabilityEight());
    EXPECT_EQ(dll.ButtonEnable(), 0u);
    EXPECT_EQ(dll.SetItemEx(1, 2, 3), 0u);
    EXPECT_EQ(dll.GetStringList(1, 2, 3, 4), 0u);
    EXPECT_EQ(dll.GetItemDefaultValue(1, 2), 0u);
    EXPECT_FALSE(dll.GetItemInformation(1, 2));
    dll.SetThreshold(1, 2, 3);
}

void ExpectCanNotFind(const std::string& path) {
    MessageBoxWatcher watcher(::GetCurrentProcessId());
    SimVeltraDll dll(path);
    EXPECT_FALSE(dll.Init());
    ASSERT_EQ(watcher.Boxes().size(), 1u);
    const auto box = watcher.Boxes()[0];
    EXPECT_EQ(box.text, "Can not find " + path);
    EXPECT_EQ(box.caption, "LoadLibrary Error");
    EXPECT_FALSE(box.hasIcon);
    EXPECT_EQ(box.buttons, 1);
    ExpectUnbound(dll);
}

} // namespace

TEST(VeltraDll, LibraryOutsideTheProgramsFolderTakesItsDllsFromItsOwn) {
    // The program's folder holds a copy of the DLL too: only the library's folder must count.
    SimTorvex sim(CurrentTestName());
    TestFolder folder(CurrentTestName());
    ASSERT_TRUE(folder.CopyFromBin("TorvexDependent.dll", "Torvex.dll") &&
                folder.CopyFromBin("TorvexDep.dll"));
    SimVeltraDll dll(folder / "Torvex.dll");
    EXPECT_TRUE(dll.Init());
    const auto loaded = sim.Calls({"Loaded"});
    ASSERT_FALSE(loaded.empty());
    EXPECT_EQ(loaded.front(), "Loaded(" + (folder / "TorvexDep.dll") + ")");
}

TEST(VeltraDll, MissingLibraryIsReportedAndLeavesItUnbound) {
    SimTorvex sim(CurrentTestName());
    TestFolder folder(CurrentTestName());
    ExpectCanNotFind(folder / "Torvex.dll");
    EXPECT_TRUE(sim.Journal().empty());
}

TEST(VeltraDll, DirectoryNamedLikeTheLibraryIsNoLibrary) {
    TestFolder folder(CurrentTestName());
    ASSERT_TRUE(folder.MakeFolder("Torvex.dll"));
    ExpectCanNotFind(folder / "Torvex.dll");
}

TEST(VeltraDll, UnloadableLibraryIsReportedAndEndsTheProgram) {
    TestFolder folder(CurrentTestName());
    ASSERT_TRUE(folder.WriteFile("Torvex.dll", "not a library"));
    const ProbeOutcome outcome = RunProbeChild(folder, "instance");
    EXPECT_EQ(outcome.exitCode, 1u);
    ASSERT_EQ(outcome.boxes.size(), 1u);
    EXPECT_EQ(outcome.boxes[0].text, "Can not load " + (folder / "Torvex.dll") + ". Program will abort");
    EXPECT_EQ(outcome.boxes[0].caption, "LoadLibrary Error");
    EXPECT_FALSE(outcome.boxes[0].hasIcon);
}

TEST(VeltraDll, MissingExportFailsTheEntryPointCheck) {
    // The check's expression text, as the program states it; it is too long for the message.
    // (735 characters: the text is the contract, not the count once given for it.)
    const std::string expression =
        "m_pTorvexInit != NULL && m_pGetVeltraLevel != NULL && m_pSetVeltraLevel != NULL && "
        "m_pTorvexIsSupport "
        "!= NULL && m_pTorvexCheckOc != NULL && m_pTorvexCheckReboot != NULL && m_pIsLulloSupported != NULL "
        "&& "
        "m_pIsFanControlSupported != NULL && m_pIsVexaSupported != NULL && m_pIsVexaTwoSupported != NULL && "
        "m_pIsVexaThreeSupported != NULL && m_pIsPindleSupported != NULL && m_pIsNitrelSupported != NULL && "
        "m_pIsThermostatSupported != NULL && m_pIsTorvexTwoSupported != NULL && m_pTorvexButtonEnable != "
        "NULL "
        "&& m_pGetItem != NULL && m_pSetItem != NULL && m_pSetItemEx != NULL && m_pIsItmeSupport!= NULL && "
        "m_pGetStringList != NULL && m_pGetItemDefaultValue != NULL && m_pIsWhirroThreeSupported != NULL && "
        "m_pGetNumberItemInformation != NULL";
    ASSERT_EQ(expression.size(), 735u);

    SimTorvex sim(CurrentTestName());
    TestFolder folder(CurrentTestName());
    ASSERT_TRUE(folder.CopyFromBin("TorvexMissingExport.dll", "Torvex.dll"));
    const ProbeOutcome outcome = RunProbeChild(folder, "instance");
    EXPECT_EQ(outcome.exitCode, 3u);
    ASSERT_EQ(outcome.boxes.size(), 2u);
    const std::string cut = ("Assertion failed: " + expression).substr(0, 245);
    ASSERT_EQ(outcome.boxes[0].text.substr(0, 245), cut);
    EXPECT_GT(std::stoi(outcome.boxes[0].text.substr(245)), 0); // the line number right after the cut
    EXPECT_EQ(outcome.boxes[0].text.find(", file "), std::string::npos);
    EXPECT_EQ(outcome.boxes[1].text, "Abnormal program termination");
    EXPECT_TRUE(sim.Calls({"TorvexInit"}).empty()); // nothing was called on the broken library
}

TEST(VeltraDll, LevelReadOnAnUnsupportedControllerFailsItsCheck) {
    SimTorvex sim(CurrentTestName());
    sim.Set("IsSupport", 0);
    TestFolder folder(CurrentTestName());
    ASSERT_TRUE(folder.CopyFromBin("Torvex.dll"));
    const ProbeOutcome outcome = RunProbeChild(folder, "level");
    EXPECT_EQ(outcome.exitCode, 3u);
    ASSERT_EQ(outcome.boxes.size(), 2u);
    const std::string prefix = "Assertion failed: IsSupported(), file level/Veltra.cpp, line ";
    EXPECT_EQ(outcome.boxes[0].text.substr(0, prefix.size()), prefix);
    EXPECT_TRUE(sim.Calls({"TorvexGetLevel"}).empty());
}
