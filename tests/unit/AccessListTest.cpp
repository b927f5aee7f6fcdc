// An access list as its entries: where the installer's grant goes, what a new folder inherits, and a
// list whose entries cannot all be read.
#include "mirov/Handles.h"
#include "tests/unit/DescriptorText.h"
#include "installer/AccessList.h"
#include "installer/Sid.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <windows.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

std::optional<AccessList> ListOf(const std::wstring& text) {
    const Descriptor descriptor = DescriptorFromText(text);
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (!descriptor || !::GetSecurityDescriptorDacl(descriptor.Get(), &present, &acl, &defaulted) || !acl)
        return std::nullopt;
    return AccessList::Read(*acl);
}

std::wstring TextOf(std::vector<BYTE> list) {
    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<ACL*>(list.data()), FALSE);
    mirov::UniqueLocal<wchar_t*> text;
    if (list.empty() || !::ConvertSecurityDescriptorToStringSecurityDescriptorW(
                            &descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, text.Put(), nullptr))
        return L"no list";
    return std::wstring(text.Get());
}

// As the system writes the text back, so that lists compare whatever order of flags the test wrote.
std::wstring Normalized(const std::wstring& text) {
    const std::optional<AccessList> list = ListOf(text);
    return list ? TextOf(list->Build()) : L"bad test list";
}

TEST(AccessList, GrantGoesAfterAnOwnDenyEntryThatComesAfterAnInheritedOne) {
    std::optional<AccessList> list = ListOf(L"D:(A;;KA;;;BA)(A;ID;KR;;;BU)(D;;KA;;;AN)(A;ID;KR;;;SY)");
    ASSERT_TRUE(list);
    const std::optional<Sid> interactive = Sid::WellKnown(WinInteractiveSid);
    ASSERT_TRUE(interactive);
    list->AddExplicitAllow(*interactive, KEY_QUERY_VALUE | KEY_SET_VALUE);
    EXPECT_EQ(TextOf(list->Build()),
              Normalized(L"D:(A;;KA;;;BA)(A;ID;KR;;;BU)(D;;KA;;;AN)(A;;0x3;;;IU)(A;ID;KR;;;SY)"));
}

TEST(AccessList, AnEntryThatCannotBeReadIsAnErrorNotAShorterList) {
    const Descriptor descriptor = DescriptorFromText(L"D:(A;;KA;;;BA)(A;;KR;;;BU)");
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.Get(), &present, &acl, &defaulted) && acl);
    ASSERT_TRUE(AccessList::Read(*acl));
    std::vector<BYTE> bytes(reinterpret_cast<BYTE*>(acl), reinterpret_cast<BYTE*>(acl) + acl->AclSize);
    ACL* counted = reinterpret_cast<ACL*>(bytes.data());
    counted->AceCount = 3; // one more entry than the list holds
    EXPECT_FALSE(AccessList::Read(*counted));
    counted->AceCount = 2;
    counted->AclSize = static_cast<WORD>(counted->AclSize - 4); // the last entry reaches beyond the end
    EXPECT_FALSE(AccessList::Read(*counted));
}

// A list whose sizes all hold, but whose revision no system knows, or whose first entry's account
// claims more sub-authorities than the entry holds: refused before an entry is read.
TEST(AccessList, ListTheSystemDoesNotTakeForValidIsAnError) {
    const Descriptor descriptor = DescriptorFromText(L"D:(A;;KA;;;BA)(A;;KR;;;BU)");
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.Get(), &present, &acl, &defaulted) && acl);
    const std::vector<BYTE> valid(reinterpret_cast<BYTE*>(acl), reinterpret_cast<BYTE*>(acl) + acl->AclSize);
    std::vector<BYTE> revision = valid;
    reinterpret_cast<ACL*>(revision.data())->AclRevision = 0x55;
    EXPECT_FALSE(AccessList::Read(*reinterpret_cast<ACL*>(revision.data())));
    std::vector<BYTE> account = valid;
    constexpr size_t kFirstSubAuthorityCount = sizeof(ACL) + offsetof(ACCESS_ALLOWED_ACE, SidStart) + 1;
    account[kFirstSubAuthorityCount] = SID_MAX_SUB_AUTHORITIES;
    EXPECT_FALSE(AccessList::Read(*reinterpret_cast<ACL*>(account.data())));
}

// Entries for folders take effect on the new folder and pass on, unless marked to stop there; entries
// for files only wait in it for its files; the others stay behind.
TEST(AccessList, NewFolderGetsWhatItsParentPassesOn) {
    const std::optional<AccessList> parent = ListOf(L"D:P(A;OICI;FA;;;SY)(A;CIIO;FA;;;BU)(A;OI;FR;;;AU)"
                                                    L"(A;CINP;FA;;;IU)(A;;FA;;;WD)(A;OINP;FA;;;AN)");
    ASSERT_TRUE(parent);
    EXPECT_EQ(TextOf(parent->InheritedByNewFolder().Build()),
              Normalized(L"D:(A;OICIID;FA;;;SY)(A;CIID;FA;;;BU)(A;OIIOID;FR;;;AU)(A;ID;FA;;;IU)"));
}

} // namespace
