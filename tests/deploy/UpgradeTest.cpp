// The silent installer over a copy that runs from the folder: the copy is found by its image, not by
// a window any program may copy, and asked to quit before its file is replaced; a copy that does not
// end in time is ended, so that no copy can block an upgrade or an uninstall. An uninstall that can
// remove the file only at the next restart says so by its exit code.
#include "mirov/Contract.h"
#include "mirov/Handles.h"
#include "tests/deploy/KeyAccessList.h"
#include "tests/deploy/LookalikeWindow.h"
#include "tests/deploy/SetupRun.h"
#include "tests/deploy/StandInShell.h"
#include "tests/support/HelperProcess.h"
#include "tests/support/ScratchKey.h"
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

// The program started from the folder as any user may start it, suspended: it never gets its window,
// never answers the quit request and never ends by itself; ended with the test if still there.
class SuspendedCopy {
public:
    explicit SuspendedCopy(const TestFolder& folder) {
        std::string commandLine = "\"" + (folder / "TorvexHelp.exe") + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started = {};
        if (::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                             folder.Path().c_str(), &startup, &started)) {
            m_process.Reset(started.hProcess);
            ::CloseHandle(started.hThread);
        }
    }
    ~SuspendedCopy() {
        if (m_process && !HasEnded())
            ::TerminateProcess(m_process.Get(), 0);
    }
    SuspendedCopy(const SuspendedCopy&) = delete;
    SuspendedCopy& operator=(const SuspendedCopy&) = delete;

    bool Started() const { return m_process.IsValid(); }
    bool HasEnded() const { return ::WaitForSingleObject(m_process.Get(), 0) == WAIT_OBJECT_0; }

private:
    mirov::UniqueHandle m_process;
};

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
                ::PostMessageA(window, contract::kQuitMessage, contract::kQuitRequest, 0);
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

// A copy that never answers (here one started suspended, as any user may start one) is ended: the
// upgrade puts the new program in place, and the uninstall takes the grant and the logon entry out.
TEST_F(Upgrade, CopyThatDoesNotEndIsEndedAndBlocksNeitherUpgradeNorUninstall) {
    ScratchKey key(contract::kThresholdKey);
    key.SetDword("Threshold1", 11); // the vendor's key, which stays
    const std::string original = "D:P(A;;KA;;;SY)(A;;KA;;;BA)";
    KeyAccessList list(contract::kThresholdKey, 0); // the view of this build, which the installer installs
    ASSERT_TRUE(list.Set(original));
    ASSERT_TRUE(m_folder.CopyFromBin("Torvex.dll"));
    ASSERT_TRUE(m_folder.CopyFromBin("TorvexHelp.exe"));
    const SuspendedCopy earlier(m_folder);
    ASSERT_TRUE(earlier.Started());

    EXPECT_EQ(Install(), 0u);
    EXPECT_TRUE(earlier.HasEnded()) << "the copy still runs";
    EXPECT_TRUE(Installed() == Carried()) << "the earlier TorvexHelp.exe is still in place";
    EXPECT_TRUE(RegistryHolds(kRunKey, contract::kRunValue));
    EXPECT_EQ(list.Get(), Normalized(original + "(A;;0x3;;;IU)"));

    const SuspendedCopy stuck(m_folder); // beside the one the installer started, which answers
    ASSERT_TRUE(stuck.Started());
    EXPECT_EQ(RunToEnd(m_folder / "TorvexHelp-Uninstall.exe", "/S _?=" + Dir()), 0u);
    EXPECT_TRUE(stuck.HasEnded()) << "the copy still runs";
    EXPECT_EQ(::GetFileAttributesA((m_folder / "TorvexHelp.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(list.Get(), original);
    EXPECT_FALSE(RegistryHolds(kRunKey, contract::kRunValue));
    EXPECT_FALSE(RegistryHolds(kUninstallKey, nullptr));
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
    EXPECT_FALSE(RegistryHolds(kRunKey, contract::kRunValue));
    EXPECT_FALSE(RegistryHolds(kUninstallKey, nullptr));
    SetPendingRenames(pendingBefore);
}

} // namespace
