// The silent installer under Wine, where a file's or folder's Unix mode is its access list: what
// anyone may change on the way to the program or beside it, a link, a file where a folder should be
// and a network folder are refused (exit code 3, nothing installed, no logon entry), and a folder and
// libraries only administrators may change still install. The uninstaller removes nothing from a
// folder that became a link. No shell stands in here, so an install that goes through does not start
// the program.
#include "mirov/Contract.h"
#include "tests/deploy/SetupRun.h"
#include "tests/deploy/UnixFiles.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>

namespace {

constexpr DWORD kFolderRefused = 3;

std::string InstallerPath() {
    return TestFolder::BinFolder() + "..\\..\\package\\TorvexHelp-Setup.exe";
}

bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool HasRunValue() {
    HKEY run = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &run) !=
        ERROR_SUCCESS)
        return false;
    const bool has =
        ::RegQueryValueExA(run, contract::kRunValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    ::RegCloseKey(run);
    return has;
}

class InstallerRefusal : public ::testing::Test {
protected:
    InstallerRefusal() : m_folder(CurrentTestName()) {}

    void SetUp() override {
        if (!Exists(InstallerPath()))
            GTEST_SKIP() << "the installer was not built: scripts/package makes " << InstallerPath();
        if (!IsUnderWine())
            GTEST_SKIP() << "Unix modes stand for access lists only under Wine";
        ASSERT_TRUE(m_folder.MakeFolder("Torvex"));
        ASSERT_TRUE(m_folder.CopyFromBin("Torvex.dll", "Torvex\\Torvex.dll"));
        ASSERT_TRUE(m_folder.CopyFromBin("TorvexPlug.dll", "Torvex\\TorvexPlug.dll"));
    }

    // An install that went through in spite of all is undone, key included, for the tests that follow.
    void TearDown() override {
        SetUnixMode(m_folder.Path(), "755");
        if (!m_installedTo.empty() && Exists(m_installedTo + "\\TorvexHelp-Uninstall.exe"))
            RunToEnd(m_installedTo + "\\TorvexHelp-Uninstall.exe", "/S _?=" + m_installedTo);
        RemoveInstallerEntries();
    }

    // The install folder: Torvex inside the test's folder, with a library and a DLL of the library's.
    std::string Dir() const { return m_folder / "Torvex"; }
    DWORD Install(const std::string& dir) {
        m_installedTo = dir;
        return RunToEnd(InstallerPath(), "/S /D=" + dir);
    }

    void ExpectRefused(const std::string& dir) {
        EXPECT_EQ(Install(dir), kFolderRefused);
        EXPECT_FALSE(Exists(dir + "\\TorvexHelp-Uninstall.exe")) << "installed in spite of the refusal";
        EXPECT_FALSE(HasRunValue());
    }

    TestFolder m_folder;
    std::string m_installedTo;
};

TEST_F(InstallerRefusal, LibraryAnyoneMayWriteIsRefused) {
    for (const char* library : {"Torvex.dll", "TorvexPlug.dll"}) {
        SCOPED_TRACE(library);
        ASSERT_TRUE(SetUnixMode(Dir() + "\\" + library, "666"));
        ExpectRefused(Dir());
        EXPECT_FALSE(Exists(Dir() + "\\TorvexHelp.exe"));
        ASSERT_TRUE(SetUnixMode(Dir() + "\\" + library, "644"));
    }
}

// The program's own file from an earlier install, the first one the installer names for the check.
TEST_F(InstallerRefusal, ProgramFileAnyoneMayWriteIsRefused) {
    ASSERT_TRUE(m_folder.WriteFile("Torvex\\TorvexHelp.exe", "an earlier copy"));
    ASSERT_TRUE(SetUnixMode(Dir() + "\\TorvexHelp.exe", "666"));
    ExpectRefused(Dir());
    std::ifstream file(Dir() + "\\TorvexHelp.exe", std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(file), {}) == "an earlier copy") << "overwritten";
}

// Whoever may delete or rename what is in the parent may move the install folder away and put one of
// their own in its place.
TEST_F(InstallerRefusal, FolderInsideOneAnyoneMayChangeIsRefused) {
    ASSERT_TRUE(SetUnixMode(m_folder.Path(), "777"));
    ExpectRefused(Dir());
    EXPECT_FALSE(Exists(Dir() + "\\TorvexHelp.exe"));
}

// Anything beside the library may be loaded by it, whatever its name, in a folder of its own too.
TEST_F(InstallerRefusal, AnyFileOrFolderInTheFolderAnyoneMayChangeIsRefused) {
    ASSERT_TRUE(m_folder.MakeFolder("Torvex\\Plugins"));
    ASSERT_TRUE(m_folder.WriteFile("Torvex\\Plugins\\Plug.dat", "loaded by the library"));
    for (const auto& [path, mode] : {std::pair<std::string, const char*>{Dir() + "\\Plugins", "777"},
                                     {Dir() + "\\Plugins\\Plug.dat", "666"}}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(SetUnixMode(path, mode));
        ExpectRefused(Dir());
        EXPECT_FALSE(Exists(Dir() + "\\TorvexHelp.exe"));
        ASSERT_TRUE(SetUnixMode(path, mode[0] == '7' ? "755" : "644"));
    }
}

// A folder link shows Wine's reparse mark; a link to a file shows none, only where it leads.
TEST_F(InstallerRefusal, LinkInThePathOrInTheFolderIsRefused) {
    ASSERT_TRUE(MakeUnixLink(Dir(), m_folder / "Link"));
    ExpectRefused(m_folder / "Link");
    EXPECT_TRUE(RemoveUnixLink(m_folder / "Link"));
    ASSERT_TRUE(m_folder.CopyFromBin("Torvex.dll", "Elsewhere.dll"));
    ASSERT_TRUE(::DeleteFileA((Dir() + "\\Torvex.dll").c_str()));
    ASSERT_TRUE(MakeUnixLink(m_folder / "Elsewhere.dll", Dir() + "\\Torvex.dll"));
    ExpectRefused(Dir());
    EXPECT_FALSE(Exists(Dir() + "\\TorvexHelp.exe"));
    // Wine lists no link whose target is gone, so the folder could not be removed after it.
    EXPECT_TRUE(RemoveUnixLink(Dir() + "\\Torvex.dll"));
}

// A folder the installer cannot use as it was given is refused, not replaced by the default one: a
// file stands in its way, or the share is not there.
TEST_F(InstallerRefusal, FolderThatCannotBeUsedAsGivenIsRefused) {
    ASSERT_TRUE(m_folder.WriteFile("File", "not a folder"));
    for (const std::string& dir :
         {m_folder / "File", m_folder / "File\\Torvex", std::string("\\\\server\\share\\Torvex")}) {
        SCOPED_TRACE(dir);
        ExpectRefused(dir);
    }
}

// Named by the uninstaller, the folder is now a link: removing the files through it would remove them
// wherever it leads.
TEST_F(InstallerRefusal, UninstallLeavesAFolderThatBecameALinkAlone) {
    ASSERT_EQ(Install(Dir()), 0u);
    const std::string link = m_folder / "Link";
    ASSERT_TRUE(MakeUnixLink(Dir(), link));
    EXPECT_EQ(RunToEnd(Dir() + "\\TorvexHelp-Uninstall.exe", "/S _?=" + link), kFolderRefused);
    EXPECT_TRUE(Exists(Dir() + "\\TorvexHelp.exe"));
    EXPECT_TRUE(Exists(Dir() + "\\TorvexHelp-Uninstall.exe"));
    EXPECT_TRUE(HasRunValue());
    EXPECT_TRUE(RemoveUnixLink(link));
}

TEST_F(InstallerRefusal, FolderAndLibrariesOnlyAdministratorsMayChangeInstall) {
    ASSERT_TRUE(SetUnixMode(Dir() + "\\Torvex.dll", "644"));
    ASSERT_TRUE(SetUnixMode(Dir() + "\\TorvexPlug.dll", "644"));
    ASSERT_EQ(Install(Dir()), 0u);
    EXPECT_TRUE(Exists(Dir() + "\\TorvexHelp.exe"));
    EXPECT_TRUE(HasRunValue());
    EXPECT_EQ(RunToEnd(Dir() + "\\TorvexHelp-Uninstall.exe", "/S _?=" + Dir()), 0u);
    EXPECT_FALSE(HasRunValue());
    m_installedTo.clear();
}

} // namespace
