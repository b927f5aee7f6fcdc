// A standard user's logon, as closely as Wine models it: Wine's one token holds Administrators, Users
// and INTERACTIVE, so a key whose access list grants Administrators nothing refuses the program what
// Windows refuses a standard user's filtered token: changing the key. The installer, run with the
// same token, reaches the list as the key's owner (owners may always read and change it).
#include "mirov/Contract.h"
#include "mirov/Handles.h"
#include "tests/deploy/KeyAccessList.h"
#include "tests/deploy/SetupRun.h"
#include "tests/deploy/StandInShell.h"
#include "tests/support/HelperProcess.h"
#include "tests/support/ScratchKey.h"
#include "tests/support/SimTorvex.h"
#include "tests/support/TestFolder.h"
#include "tools/common/HelperWindow.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

// The vendor's own key as a standard user meets it: full access for the system, reading for users.
constexpr char kRefusingList[] = "D:P(A;;KA;;;SY)(A;;KR;;;BU)";

// The program at the user level across one sleep, as it writes to the library.
Calls SleepAtUserLevel(SimTorvex& sim, HWND window) {
    sim.ClearJournal();
    sim.Set("Level", 0x8000);
    ::SendMessageA(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    sim.Set("Level", 1);
    ::SendMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    return sim.Calls({"TorvexSetItem", "TorvexSetLevel"});
}

const Calls kThresholds = {"TorvexSetItem(0x0E0A0014, 11) = 1", "TorvexSetItem(0x0E0A0015, 12) = 1",
                           "TorvexSetItem(0x0E0A0016, 13) = 1", "TorvexSetItem(0x0E0A0017, 14) = 1",
                           "TorvexSetItem(0x0E0A0018, 15) = 1", "TorvexSetItem(0x0E0A0019, 16) = 1",
                           "TorvexSetLevel(32768) = 1"};

class StandardUser : public ::testing::Test {
protected:
    StandardUser()
        : m_sim(CurrentTestName()), m_folder(CurrentTestName()), m_key(contract::kThresholdKey),
          m_shell(StandInShell::Token::Limited) {}

    void TearDown() override {
        for (HWND window : FindHelperWindows())
            ::PostMessageA(window, contract::kQuitMessage, contract::kQuitRequest, 0);
        // The 64-bit installer writes these in the 64-bit view, whichever build this test is.
        RemoveInstallerEntries();
    }

    std::string Dir() const { return m_folder.Path().substr(0, m_folder.Path().size() - 1); }

    SimTorvex m_sim;
    TestFolder m_folder;
    ScratchKey m_key;
    StandInShell m_shell; // the installer starts the program through it
};

// The program asks for reading alone to read the thresholds and for setting values alone to record
// the level, so the vendor's list lets it apply the thresholds, and a grant of those two rights lets
// it record the level too.
TEST_F(StandardUser, ThresholdsAreReadWhereTheKeyMayOnlyBeReadAndTheLevelRecordedWhereValuesMaySet) {
    m_sim.SetSupportState(3);
    m_sim.SetItem(0x0B060002, "Value", 1);
    for (DWORD k = 1; k <= 6; ++k)
        m_key.SetDword(("Threshold" + std::to_string(k)).c_str(), 10 + k);
    KeyAccessList list(contract::kThresholdKey, 0);
    ASSERT_TRUE(list.Set(kRefusingList));
    {
        HelperProcess helper(m_folder);
        ASSERT_TRUE(helper.Start());
        ASSERT_NE(helper.WaitForWindow(), nullptr);
        EXPECT_EQ(SleepAtUserLevel(m_sim, helper.Window()), kThresholds) << "not zeros";
        EXPECT_FALSE(m_key.Has("LastMode"));
        EXPECT_TRUE(helper.Boxes().Boxes().empty()); // the refused record is silent
        ASSERT_TRUE(helper.Quit());
    }
    ASSERT_TRUE(list.Set(std::string(kRefusingList) + "(A;;0x3;;;IU)")); // KEY_QUERY_VALUE | KEY_SET_VALUE
    HelperProcess helper(m_folder);
    ASSERT_TRUE(helper.Start());
    ASSERT_NE(helper.WaitForWindow(), nullptr);
    EXPECT_EQ(SleepAtUserLevel(m_sim, helper.Window()), kThresholds);
    EXPECT_EQ(m_key.Dword("LastMode"), 0x8000u);
    ASSERT_TRUE(helper.Quit());
}

TEST_F(StandardUser, InstallerLetsTheLogonUserReadTheThresholdsAndRecordTheLevel) {
    const std::string installer = InstallerPath();
    const std::string whyNot = WhyInstallerCannotRun();
    if (!whyNot.empty())
        GTEST_SKIP() << whyNot;
    m_sim.SetSupportState(3);
    m_sim.SetItem(0x0B060002, "Value", 1); // the feature is on: only thresholds and level are written
    for (DWORD k = 1; k <= 6; ++k)
        m_key.SetDword(("Threshold" + std::to_string(k)).c_str(), 10 + k);
    KeyAccessList list(contract::kThresholdKey, 0); // the view of this build, which the installer installs
    ASSERT_TRUE(list.Set(kRefusingList));

    HelperProcess before(m_folder);
    ASSERT_TRUE(before.Start());
    ASSERT_NE(before.WaitForWindow(), nullptr);
    EXPECT_EQ(SleepAtUserLevel(m_sim, before.Window()), kThresholds);
    EXPECT_FALSE(m_key.Has("LastMode"));
    ASSERT_TRUE(before.Quit());

    ASSERT_EQ(RunToEnd(installer, "/S /D=" + Dir()), 0u);
    EXPECT_EQ(list.Get(), Normalized(std::string(kRefusingList) + "(A;;0x3;;;IU)"));
    const HWND window = WaitForHelperWindow(0, 20000);
    ASSERT_NE(window, nullptr) << "the installer did not start the program";
    EXPECT_EQ(SleepAtUserLevel(m_sim, window), kThresholds);
    EXPECT_EQ(m_key.Dword("LastMode"), 0x8000u);

    ASSERT_EQ(RunToEnd(m_folder / "TorvexHelp-Uninstall.exe", "/S _?=" + Dir()), 0u);
    EXPECT_EQ(list.Get(), kRefusingList);
    EXPECT_EQ(m_key.Dword("Threshold1"), 11u) << "the vendor's key and values stay";
}

} // namespace
