// The installer's decision on a folder or file, made on access lists handed to it: Wine keeps no list
// set on a folder, so the lists of the cases on Windows are given here as text.
#include "tests/unit/DescriptorText.h"
#include "installer/ChangeRights.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

namespace {

constexpr wchar_t kInstaller[] = L"S-1-5-21-1111-2222-3333-1001";
constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

std::wstring WhyUnsafe(const std::wstring& list, ChangeRights::Kind kind) {
    const Descriptor descriptor = DescriptorFromText(list);
    if (!descriptor)
        return L"bad test list";
    return ChangeRights(TrustedAccounts(Sid::FromText(kInstaller))).WhyUnsafe(descriptor.Get(), kind);
}

TEST(ChangeRights, AFolderOnlyAdministratorsMayChangeIsSafe) {
    const std::wstring ti = kTrustedInstaller;
    // A folder made under Program Files: what it inherits there.
    const std::wstring programFiles = L"O:BAD:AI(A;ID;FA;;;" + ti + L")(A;CIIOID;GA;;;" + ti +
                                      L")(A;ID;FA;;;SY)(A;OICIIOID;GA;;;SY)(A;ID;FA;;;BA)(A;OICIIOID;GA;;;BA)"
                                      L"(A;ID;0x1200a9;;;BU)(A;OICIIOID;GXGR;;;BU)(A;OICIIOID;GA;;;CO)"
                                      L"(A;ID;0x1200a9;;;AC)(A;OICIIOID;GXGR;;;AC)";
    EXPECT_EQ(WhyUnsafe(programFiles, ChangeRights::Kind::Folder), L"");
    // The installing account as owner with full access, as Wine reports every folder.
    EXPECT_EQ(WhyUnsafe(std::wstring(L"O:") + kInstaller + L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + kInstaller +
                            L")(A;OICI;FR;;;WD)",
                        ChangeRights::Kind::Folder),
              L"");
}

TEST(ChangeRights, AnyoneElseWhoMayChangeTheFolderOrItsFilesIsNamed) {
    const ChangeRights::Kind folder = ChangeRights::Kind::Folder;
    // A folder made under C:\ inherits "modify" for every authenticated user.
    EXPECT_EQ(WhyUnsafe(L"O:BAD:AI(A;ID;FA;;;BA)(A;OICIIOID;GA;;;BA)(A;ID;FA;;;SY)(A;OICIIOID;GA;;;SY)"
                        L"(A;OICIID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)(A;OICIIOID;SDGXGWGR;;;AU)",
                        folder),
              L"NT AUTHORITY\\Authenticated Users may add files, add folders, delete or rename it");
    // Only the entries that new files inherit: the program would be written there with them.
    EXPECT_EQ(WhyUnsafe(L"O:BAD:P(A;;FA;;;BA)(A;OIIO;GW;;;BU)", folder),
              L"BUILTIN\\Users may write to, append to the files made in it");
    EXPECT_EQ(WhyUnsafe(L"O:BUD:P(A;OICI;FA;;;BA)", folder),
              L"its owner BUILTIN\\Users may change its access list");
    EXPECT_EQ(WhyUnsafe(L"O:BA", folder), L"it has no access list: everyone may change it");
    EXPECT_EQ(WhyUnsafe(L"O:BAD:P(A;;FA;;;BA)(A;;WDWO;;;S-1-5-21-1111-2222-3333-1002)", folder),
              L"S-1-5-21-1111-2222-3333-1002 may change its access list, take its ownership");
    // An existing program file that users may overwrite.
    EXPECT_EQ(WhyUnsafe(L"O:BAD:(A;;FA;;;SY)(A;;0x1201bf;;;IU)", ChangeRights::Kind::File),
              L"NT AUTHORITY\\INTERACTIVE may write to, append to it");
}

// Above the install folder only moving a folder away counts: deleting or renaming it or what is in it.
TEST(ChangeRights, AFolderAboveItCountsWhoMayMoveItOrChangeItsList) {
    const ChangeRights::Kind parent = ChangeRights::Kind::Parent;
    // C:\ on Windows: every authenticated user may add folders there, and gets "modify" on them.
    EXPECT_EQ(WhyUnsafe(L"O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
                        L"(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)",
                        parent),
              L"");
    // Wine's folder of mode 777.
    EXPECT_EQ(WhyUnsafe(L"O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301ff;;;WD)", parent),
              L"Everyone may delete or rename what is in it, delete or rename it");
}

TEST(ChangeRights, AFolderYetToBeMadeIsJudgedByWhatItWouldInherit) {
    const std::wstring parent =
        L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;CIIO;FA;;;BU)";
    EXPECT_EQ(WhyUnsafe(parent, ChangeRights::Kind::Folder), L"") << "the parent itself is safe";
    const Descriptor descriptor = DescriptorFromText(parent);
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.Get(), &present, &acl, &defaulted) && acl);
    const std::optional<AccessList> list = AccessList::Read(*acl);
    ASSERT_TRUE(list);
    EXPECT_EQ(
        ChangeRights(TrustedAccounts(Sid::FromText(kInstaller)))
            .WhyUnsafe(list->InheritedByNewFolder(), ChangeRights::Kind::Folder),
        L"BUILTIN\\Users may add files, add folders, delete or rename what is in it, delete or rename it, "
        L"change its access list, take its ownership");
}

} // namespace
