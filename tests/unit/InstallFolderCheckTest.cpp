// The installer's decision on a whole path, on real folders and files; where Wine cannot make a
// folder's list (it reports one from the Unix mode, which makes neither a folder where others may only
// add files nor one that passes write access on to new folders alone), with that list given as text.
#include "tests/support/TestFolder.h"
#include "tests/unit/DescriptorText.h"
#include "installer/InstallFolderCheck.h"
#include "installer/Sid.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

bool SameFolder(std::wstring a, std::wstring b) {
    for (std::wstring* path : {&a, &b}) {
        while (!path->empty() && path->back() == L'\\')
            path->pop_back();
    }
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The check of folder with the list of listed given as text; every other list as Wine reports it.
CommandResult CheckWithList(const std::wstring& folder, const std::wstring& listed,
                            const std::wstring& text) {
    const ChangeRights rights{TrustedAccounts(Sid::OfProcessAccount())};
    const InstallFolderCheck check(rights, [&](const std::wstring& path, DWORD& error) {
        if (!SameFolder(path, listed))
            return InstallFolderCheck::ReadNamedSecurity(path, error);
        error = ERROR_SUCCESS;
        return DescriptorFromText(text);
    });
    return check.Check(folder, InstallFolderCheck::Scope::Everything);
}

// Adding files is harmless above the install folder, not in it: what is added there is loaded.
TEST(InstallFolderCheck, InstallFolderWhereOthersMayOnlyAddFilesIsRefused) {
    const TestFolder folder(CurrentTestName());
    ASSERT_TRUE(folder.MakeFolder("Torvex"));
    const std::wstring install = Wide(folder / "Torvex");
    const CommandResult result =
        CheckWithList(install, install, L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200af;;;BU)");
    EXPECT_EQ(result.code, ExitCode::Refused);
    EXPECT_EQ(result.line, install + L": BUILTIN\\Users may add files, add folders");
}

// An entry for new folders only does nothing to the folder itself, all to the one made in it.
TEST(InstallFolderCheck, FolderYetToBeMadeIsJudgedByWhatItsParentPassesOn) {
    const TestFolder folder(CurrentTestName());
    const std::wstring parent = Wide(folder.Path());
    const CommandResult result =
        CheckWithList(parent + L"New", parent,
                      L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;CIIO;FA;;;BU)");
    EXPECT_EQ(result.code, ExitCode::Refused);
    EXPECT_EQ(result.line.find(parent + L"New: once made there, BUILTIN\\Users may "), 0u) << result.line;
}

// Judged as a folder, a file would pass with its own entries, which no new folder inherits.
TEST(InstallFolderCheck, FileWhereAFolderShouldBeIsRefused) {
    const TestFolder folder(CurrentTestName());
    ASSERT_TRUE(folder.WriteFile("File", "not a folder"));
    const ChangeRights rights{TrustedAccounts(Sid::OfProcessAccount())};
    for (const std::wstring& install : {Wide(folder / "File"), Wide(folder / "File\\Torvex")}) {
        const CommandResult result =
            InstallFolderCheck(rights).Check(install, InstallFolderCheck::Scope::Everything);
        EXPECT_EQ(result.code, ExitCode::Refused);
        EXPECT_EQ(result.line, Wide(folder / "File") + L": it is a file, not a folder");
    }
}

TEST(InstallFolderCheck, NetworkFolderIsRefused) {
    const ChangeRights rights{TrustedAccounts(Sid::OfProcessAccount())};
    const CommandResult result =
        InstallFolderCheck(rights).Check(L"\\\\server\\share\\Torvex", InstallFolderCheck::Scope::Folders);
    EXPECT_EQ(result.code, ExitCode::Refused);
    EXPECT_EQ(result.line.find(L"\\\\server\\share\\Torvex: a network folder"), 0u) << result.line;
}

} // namespace
