// The program the installer starts gets the logged-on user's environment, not the installer's: the
// elevated installer's may hold what its caller put there. Seen through the simulated library,
// which writes its journal where its variable says.
#include "mirov/Contract.h"
#include "tests/deploy/SetupRun.h"
#include "tests/deploy/StandInShell.h"
#include "tests/support/SimTorvex.h"
#include "tests/support/TestFolder.h"
#include "tools/common/HelperWindow.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class StartEnvironment : public ::testing::Test {
protected:
    StartEnvironment()
        : m_sim(CurrentTestName()), m_folder(CurrentTestName()), m_shell(StandInShell::Token::Limited) {}

    void SetUp() override {
        const std::string whyNot = WhyInstallerCannotRun();
        if (!whyNot.empty())
            GTEST_SKIP() << whyNot;
    }

    void TearDown() override {
        ::SetEnvironmentVariableA("TORVEX_SIM_JOURNAL", m_sim.JournalPath().c_str());
        for (HWND window : FindHelperWindows())
            ::PostMessageA(window, contract::kQuitMessage, contract::kQuitRequest, 0);
        RemoveInstallerEntries();
    }

    std::string Dir() const { return m_folder.Path().substr(0, m_folder.Path().size() - 1); }

    SimTorvex m_sim; // its variables are the user's, and so the shell's
    TestFolder m_folder;
    StandInShell m_shell;
};

TEST_F(StartEnvironment, StartedProgramGetsTheShellsEnvironmentNotTheInstallers) {
    ASSERT_TRUE(m_folder.CopyFromBin("Torvex.dll"));
    ASSERT_TRUE(m_shell.Ready());
    m_sim.ClearJournal();
    const std::string installersJournal = m_folder / "installer-only.journal";
    ::SetEnvironmentVariableA("TORVEX_SIM_JOURNAL", installersJournal.c_str()); // the installer's alone

    ASSERT_EQ(RunToEnd(InstallerPath(), "/S /D=" + Dir()), 0u);
    ASSERT_NE(WaitForHelperWindow(0, 20000), nullptr) << "the installer did not start the program";
    for (int i = 0; i < 100 && m_sim.Journal().empty(); ++i)
        ::Sleep(50);
    EXPECT_FALSE(m_sim.Journal().empty()) << "the library did not get the user's variable";
    EXPECT_FALSE(FileExists(installersJournal)) << "the program got the installer's environment";
    EXPECT_EQ(RunToEnd(m_folder / "TorvexHelp-Uninstall.exe", "/S _?=" + Dir()), 0u);
}

} // namespace
