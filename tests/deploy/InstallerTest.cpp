// The installer built by scripts/package, run silently under Wine: it puts the program beside the
// vendor library, registers it for every logon and starts it; the uninstaller asks the running copy
// to quit and removes what was installed, and only that.
#include "mirov/Contract.h"
#include "mirov/Handles.h"
#include "tests/deploy/SetupRun.h"
#include "tests/deploy/StandInShell.h"
#include "tests/support/SimTorvex.h"
#include "tests/support/TestFolder.h"
#include "tools/common/HelperWindow.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <tlhelp32.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace {

constexpr char kUninstaller[] = "TorvexHelp-Uninstall.exe";
// The build of this test program, and so of the library it copies from its own folder.
constexpr const char* kOwnBuild = sizeof(void*) == 8 ? "x64" : "x86";

std::string FileContent(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

bool FileExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The 64-bit installer writes the 64-bit registry view, which an x86 test program must name.
mirov::UniqueHkey OpenMachineKey(const char* key, REGSAM access) {
    mirov::UniqueHkey open;
    ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, access | KEY_WOW64_64KEY, open.Put());
    return open;
}

// A string value of HKLM (the 64-bit view), or "" when there is none.
std::string MachineString(const char* key, const char* name) {
    char value[1024] = {};
    DWORD size = sizeof value - 1;
    const mirov::UniqueHkey open = OpenMachineKey(key, KEY_QUERY_VALUE);
    if (!open ||
        ::RegGetValueA(open.Get(), nullptr, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return std::string();
    return value;
}

bool MachineKeyExists(const char* key) {
    return static_cast<bool>(OpenMachineKey(key, KEY_READ));
}

// Runs a program to its end; its exit code, or STILL_ACTIVE when it did not end in time.
// The image of the process that owns the window.
std::string ImageOfWindowOwner(HWND window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    mirov::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    char path[MAX_PATH * 2] = {};
    DWORD size = sizeof path;
    if (!process || !::QueryFullProcessImageNameA(process.Get(), 0, path, &size))
        return std::string();
    return path;
}

// Whether a copy of the program runs. The installer's start is over before the installer ends, so
// right after its end this tells at once whether it started one, window or not yet.
bool ProgramRuns() {
    const mirov::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (lstrcmpiW(entry.szExeFile, L"TorvexHelp.exe") == 0)
            return true;
    }
    return false;
}

// Waits until the condition holds; false on time-out.
template <typename Condition> bool WaitFor(Condition condition, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (::GetTickCount64() > end)
            return false;
        ::Sleep(50);
    }
    return true;
}

class Installer : public ::testing::Test {
protected:
    Installer() : m_sim(CurrentTestName()), m_folder(CurrentTestName()) {
        m_shell.emplace(StandInShell::Token::Limited);
    }

    void SetUp() override {
        const std::string whyNot = WhyInstallerCannotRun();
        if (!whyNot.empty())
            GTEST_SKIP() << whyNot;
    }

    // Whatever a test left: no running copy, no logon entry of its folder, no uninstall entry.
    void TearDown() override {
        for (HWND window : FindHelperWindows()) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(window, &pid);
            mirov::UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
            ::PostMessageA(window, contract::kQuitMessage, contract::kQuitRequest, 0);
            if (process && ::WaitForSingleObject(process.Get(), 10000) != WAIT_OBJECT_0)
                ::TerminateProcess(process.Get(), 0xDEAD);
        }
        if (MachineString(kRunKey, contract::kRunValue) == RunEntry())
            ::RegDeleteValueA(OpenMachineKey(kRunKey, KEY_SET_VALUE).Get(), contract::kRunValue);
        if (MachineKeyExists(kUninstallKey))
            ::RegDeleteTreeA(OpenMachineKey(kUninstallKey, KEY_ALL_ACCESS).Get(), nullptr);
        ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_64KEY, 0);
    }

    // The install folder as /D= and _?= take it: no trailing backslash.
    std::string Dir() const { return m_folder.Path().substr(0, m_folder.Path().size() - 1); }
    std::string RunEntry() const { return "\"" + (m_folder / "TorvexHelp.exe") + "\""; }

    DWORD Install() const { return RunToEnd(InstallerPath(), "/S /D=" + Dir()); }
    // In place (_?=): the uninstaller does not copy itself away first, so its end is the work's end.
    DWORD UninstallInPlace() const { return RunToEnd(m_folder / kUninstaller, "/S _?=" + Dir()); }

    // Which of the two builds the installer carries was installed: "x64", "x86", or "" for neither.
    std::string InstalledBuild() const {
        const std::string installed = FileContent(m_folder / "TorvexHelp.exe");
        for (const char* build : {"x64", "x86"}) {
            if (!installed.empty() && installed == FileContent(PackageFolder() + build + "\\TorvexHelp.exe"))
                return build;
        }
        return std::string();
    }

    // The running copy's process, opened so that its end and exit code can be seen after it is gone.
    mirov::UniqueHandle OpenRunningCopy(HWND window) const {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        return mirov::UniqueHandle(
            ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    }

    void ExpectInstalledAndRegistered() const {
        EXPECT_TRUE(FileExists(m_folder / "TorvexHelp.exe"));
        EXPECT_TRUE(FileExists(m_folder / kUninstaller));
        EXPECT_EQ(MachineString(kRunKey, contract::kRunValue), RunEntry());
        EXPECT_EQ(MachineString(kUninstallKey, "QuietUninstallString"),
                  "\"" + (m_folder / kUninstaller) + "\" /S");
        EXPECT_EQ(MachineString(kUninstallKey, "DisplayVersion"), TORVEX_VERSION);
    }

    void ExpectRemoved() const {
        EXPECT_FALSE(FileExists(m_folder / "TorvexHelp.exe"));
        EXPECT_EQ(MachineString(kRunKey, contract::kRunValue), "");
        EXPECT_FALSE(MachineKeyExists(kUninstallKey));
    }

    SimTorvex m_sim; // inherited by the installer and so by the program it starts
    TestFolder m_folder;
    std::optional<StandInShell> m_shell; // the installer starts the program through it
};

TEST_F(Installer, InstallsBesideTheLibraryStartsAndUninstallsAfterTheProgramQuits) {
    ASSERT_TRUE(m_folder.CopyFromBin("Torvex.dll"));
    ASSERT_EQ(Install(), 0u);
    ExpectInstalledAndRegistered();
    EXPECT_EQ(InstalledBuild(), kOwnBuild);

    const HWND window = WaitForHelperWindow(0, 20000);
    ASSERT_NE(window, nullptr) << "the installer did not start the program";
    EXPECT_EQ(lstrcmpiA(ImageOfWindowOwner(window).c_str(), (m_folder / "TorvexHelp.exe").c_str()), 0)
        << ImageOfWindowOwner(window);
    const mirov::UniqueHandle running = OpenRunningCopy(window);
    ASSERT_TRUE(running);
    // Started by the shell's process with its token, the user's own, not the installer's elevated one.
    ASSERT_TRUE(m_shell->Ready());
    EXPECT_EQ(ParentOf(::GetProcessId(running.Get())), m_shell->Pid());
    EXPECT_FALSE(IsElevated(running.Get()));

    ASSERT_EQ(UninstallInPlace(), 0u);
    // Ended by its quit request before its file went: exit code 0, not a forced end.
    ASSERT_EQ(::WaitForSingleObject(running.Get(), 0), WAIT_OBJECT_0);
    DWORD exitCode = STILL_ACTIVE;
    ::GetExitCodeProcess(running.Get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(FindHelperWindows().empty());
    ExpectRemoved();
    EXPECT_TRUE(FileExists(m_folder / "Torvex.dll")) << "the vendor's library must stay";
}

// Two levels yet to be made, below a folder only administrators may change.
TEST_F(Installer, InstallsIntoAFolderYetToBeMade) {
    const std::string folder = m_folder / "New\\Torvex";
    ASSERT_EQ(RunToEnd(InstallerPath(), "/S /D=" + folder), 0u);
    EXPECT_TRUE(FileExists(folder + "\\TorvexHelp.exe"));
    EXPECT_TRUE(FileExists(folder + "\\" + kUninstaller));
    EXPECT_EQ(MachineString(kRunKey, contract::kRunValue), "\"" + folder + "\\TorvexHelp.exe\"");
    EXPECT_EQ(RunToEnd(folder + "\\" + kUninstaller, "/S _?=" + folder), 0u);
    EXPECT_FALSE(FileExists(folder + "\\TorvexHelp.exe"));
    EXPECT_EQ(MachineString(kRunKey, contract::kRunValue), "");
}

TEST_F(Installer, RegisteredQuietUninstallRemovesEverythingItInstalled) {
    ASSERT_TRUE(m_folder.CopyFromBin("Torvex.dll"));
    ASSERT_EQ(Install(), 0u);
    ASSERT_NE(WaitForHelperWindow(0, 20000), nullptr);

    // As Programs and Features runs it: the uninstaller copies itself away and returns at once.
    EXPECT_EQ(RunToEnd(m_folder / kUninstaller, "/S"), 0u);
    const bool gone = WaitFor(
        [this] { return !FileExists(m_folder / kUninstaller) && !FileExists(m_folder / "TorvexHelp.exe"); },
        kSetupTimeoutMs);
    EXPECT_TRUE(gone);
    EXPECT_TRUE(WaitFor([] { return FindHelperWindows().empty(); }, 20000));
    ExpectRemoved();
    EXPECT_TRUE(FileExists(m_folder / "Torvex.dll"));
}

TEST_F(Installer, ReinstallAsksTheRunningCopyToQuitAndStartsTheNewOne) {
    ASSERT_TRUE(m_folder.CopyFromBin("Torvex.dll"));
    ASSERT_EQ(Install(), 0u);
    const HWND first = WaitForHelperWindow(0, 20000);
    ASSERT_NE(first, nullptr);
    const mirov::UniqueHandle firstCopy = OpenRunningCopy(first);

    ASSERT_EQ(Install(), 0u);
    ASSERT_EQ(::WaitForSingleObject(firstCopy.Get(), 0), WAIT_OBJECT_0) << "the first copy still runs";
    DWORD exitCode = STILL_ACTIVE;
    ::GetExitCodeProcess(firstCopy.Get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
    const HWND second = WaitForHelperWindow(0, 20000);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(FindHelperWindows().size(), 1u);
    EXPECT_EQ(UninstallInPlace(), 0u);
    ExpectRemoved();
}

TEST_F(Installer, WithAnElevatedShellInstallsButLeavesTheStartToTheNextLogon) {
    ASSERT_TRUE(m_folder.CopyFromBin("Torvex.dll"));
    m_shell.reset();
    m_shell.emplace(StandInShell::Token::Elevated);
    ASSERT_TRUE(m_shell->Ready());
    ASSERT_EQ(Install(), 0u); // installed; the program starts at the next logon
    ExpectInstalledAndRegistered();
    EXPECT_FALSE(ProgramRuns()) << "started with an elevated token";
    EXPECT_EQ(UninstallInPlace(), 0u);
    ExpectRemoved();
}

TEST_F(Installer, WithoutTheLibraryInstallsAndRegistersButDoesNotStart) {
    ASSERT_EQ(Install(), 0u);
    ExpectInstalledAndRegistered();
    EXPECT_EQ(InstalledBuild(), "x64");
    // Started, it could only report the missing library.
    EXPECT_FALSE(ProgramRuns());
    EXPECT_EQ(UninstallInPlace(), 0u);
    ExpectRemoved();
}

TEST_F(Installer, ThirtyTwoBitLibraryGetsTheX86Build) {
    ASSERT_TRUE(::CopyFileA((TestFolder::BinFolder() + "..\\..\\x86\\bin\\Torvex.dll").c_str(),
                            (m_folder / "Torvex.dll").c_str(), FALSE))
        << "the x86 build is made by scripts/test";
    // The installer starts it too (under WOW64 on Windows), and the uninstall follows at once, while
    // the copy may not have its window yet: it must still be ended before its file goes.
    ASSERT_EQ(Install(), 0u);
    ExpectInstalledAndRegistered();
    EXPECT_EQ(InstalledBuild(), "x86");
    EXPECT_EQ(UninstallInPlace(), 0u);
    ExpectRemoved();
    EXPECT_TRUE(FindHelperWindows().empty());
}

TEST_F(Installer, FileNamedLikeTheLibraryButNoLibraryIsNotStarted) {
    ASSERT_TRUE(m_folder.WriteFile("Torvex.dll", "MZ but not a library"));
    ASSERT_EQ(Install(), 0u);
    ExpectInstalledAndRegistered();
    EXPECT_FALSE(ProgramRuns());
    EXPECT_EQ(UninstallInPlace(), 0u);
    ExpectRemoved();
}

} // namespace
