// The silent installer over a copy that runs from the folder: the copy is found by its image, not by
// a window any program may copy, and asked to quit before its file is replaced; a copy that does not
// end fails the install with nothing replaced. An uninstall that can remove the file only at the
// next restart says so by its exit code.
#include "mirov/Handles.h"
#include "tests/deploy/LookalikeWindow.h"
#include "tests/deploy/SetupRun.h"
#include "tests/deploy/StandInShell.h"
#include "tests/support/HelperProcess.h"
#include "tests/support/SimTorvex.h"
#include "tests/support/TestFolder.h"
#include "tools/common/HelperWindow.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

// The build of this test program, and so of the library it copies from its own folder.
constexpr const char* kOwnBuild = sizeof(void*) == 8 ? "x64" : "x86";

std::string FileContent(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

constexpr char kSessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingRenames[] = "PendingFileRenameOperations";

// The files to be moved or removed at the next restart, as the raw multi-string.
std::string PendingRenames() {
    char value[32768] = {};
    DWORD size = sizeof value;
    mirov::UniqueHkey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                        key.Put()) ||
        ::RegQueryValueExA(key.Get(), kPendingRenames, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                           &size))
        return std::string();
    return std::string(value, size);
}

void SetPendingRenames(const std::string& value) {
    mirov::UniqueHkey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                        key.Put()))
        return;
    if (value.empty())
        ::RegDeleteValueA(key.Get(), kPendingRenames);
    else
        ::RegSetValueExA(key.Get(), kPendingRenames, 0, REG_MULTI_SZ,
                         reinterpret_cast<const BYTE*>(value.data()), static_cast<DWORD>(value.size()));
}

class Upgrade : public ::testing::Test {
protected:
    Upgrade()
        : m_sim(CurrentTestName()), m_folder(CurrentTestName()), m_shell(StandInShell::Token::Limited) {}

    void SetUp() override {
        const std::string whyNot = WhyInstallerCannotRun();
        if (!whyNot.empty())
            GTEST_SKIP() << whyNot;
    }

    void TearDown() override {
        for (HWND window : FindHelperWindows()) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(window, &pid);
            if (pid != ::GetCurrentProcessId())
                ::PostMessageA(window, kQuitMessage, kQuitWParam, 0);
        }
        RemoveInstallerEntries();
    }

    std::string Dir() const { return m_folder.Path().substr(0, m_folder.Path().size() - 1); }
    DWORD Install() const { return RunToEnd(InstallerPath(), "/S /D=" + Dir()); }
    std::string Installed() const { return FileContent(m_folder / "TorvexHelp.exe"); }
    static std::string Carried() { return FileContent(PackageFolder() + kOwnBuild + "\\TorvexHelp.exe"); }

    SimTorvex m_sim;
    TestFolder m_folder;
    StandInShell m_shell; // the installer starts the new program through it
};

// The lookalike comes first among the windows of that class and title, and never answers.
TEST_F(Upgrade, EndsTheCopyRunningFromTheFolderNotAnotherProgramsLookalikeAndReplacesIt) {
    HelperProcess running(m_folder); // the build's own TorvexHelp.exe: not the installer's stripped one
    ASSERT_TRUE(running.Start());
    ASSERT_NE(running.WaitForWindow(), nullptr);
    ASSERT_NE(Installed(), Carried());
    LookalikeWindow lookalike;
    ASSERT_NE(lookalike.Window(), nullptr);

    EXPECT_EQ(Install(), 0u);
    EXPECT_TRUE(running.Process().Wait(0)) << "the copy from the folder still runs";
    EXPECT_EQ(running.Process().ExitCode(), 0u) << "not ended by its quit request";
    EXPECT_TRUE(Installed() == Carried()) << "the earlier TorvexHelp.exe is still in place";
    EXPECT_FALSE(lookalike.CloseAndTellIfAskedToQuit()) << "another program's window was asked to quit";
    EXPECT_EQ(RunToEnd(m_folder / "TorvexHelp-Uninstall.exe", "/S _?=" + Dir()), 0u);
}

// Started suspended, the copy never gets its window nor ends.
TEST_F(Upgrade, CopyThatDoesNotEndFailsTheInstallAndNothingIsReplaced) {
    ASSERT_TRUE(m_folder.CopyFromBin("Torvex.dll"));
    ASSERT_TRUE(m_folder.CopyFromBin("TorvexHelp.exe"));
    const std::string earlier = Installed();
    std::string commandLine = "\"" + (m_folder / "TorvexHelp.exe") + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    ASSERT_TRUE(::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                 nullptr, m_folder.Path().c_str(), &startup, &started));
    const mirov::UniqueHandle process(started.hProcess);
    const mirov::UniqueHandle thread(started.hThread);

    EXPECT_EQ(Install(), 5u);
    ::TerminateProcess(process.Get(), 0);
    ::WaitForSingleObject(process.Get(), 10000);
    EXPECT_TRUE(Installed() == earlier) << "replaced";
    EXPECT_EQ(::GetFileAttributesA((m_folder / "TorvexHelp-Uninstall.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(RegistryHolds(kRunKey, kRunValue)) << "registered for the logon";
    EXPECT_FALSE(RegistryHolds(kUninstallKey, nullptr)) << "an uninstall entry was written";
}

// Another program holds the installed file open: the uninstaller removes the rest, has the file
// removed at the next restart and says so.
TEST_F(Upgrade, UninstallThatCanRemoveTheProgramOnlyAtTheNextRestartSaysSo) {
    ASSERT_EQ(Install(), 0u); // no library: installed, not started
    const std::string pendingBefore = PendingRenames();
    {
        const mirov::UniqueHandle held(::CreateFileA((m_folder / "TorvexHelp.exe").c_str(), GENERIC_READ,
                                                     FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_EQ(RunToEnd(m_folder / "TorvexHelp-Uninstall.exe", "/S _?=" + Dir()), 6u);
    }
    EXPECT_NE(PendingRenames().find("TorvexHelp.exe"), std::string::npos) << "not removed at the restart";
    EXPECT_FALSE(RegistryHolds(kRunKey, kRunValue));
    EXPECT_FALSE(RegistryHolds(kUninstallKey, nullptr));
    SetPendingRenames(pendingBefore);
}

} // namespace
