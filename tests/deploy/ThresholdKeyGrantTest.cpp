// The installer's grant on the program's key, read back from the key's access list and from the
// record in the uninstall entry: the interactive users get query and set value, added and taken out
// whatever the list's length and order, in place of an earlier installer's full access; what lets
// others change the key is taken out, and a protected list stays so whoever the owner was; a grant or
// its removal that is refused fails the run and leaves the key as it was, and nothing it changed
// there without an uninstaller. The folder holds no library, so the x64 build is installed and the
// 64-bit view prepared.
#include "mirov/Contract.h"
#include "mirov/Handles.h"
#include "tests/deploy/KeyAccessList.h"
#include "tests/deploy/SetupRun.h"
#include "tests/support/ScratchKey.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

namespace {

constexpr char kGrant[] = "(A;;0x3;;;IU)";        // KEY_QUERY_VALUE | KEY_SET_VALUE
constexpr char kVendorKey[] = "Software\\Orvane"; // the one above the program's key
constexpr DWORD kRecordedKey = 1;                 // the installer created the key
constexpr DWORD kRecordedVendorKey = 2;           // ... and the vendor's key above it
constexpr DWORD kRecordedGrant = 8;
constexpr DWORD kRecordedFullAccess = 4; // what the earlier installer recorded for (A;;KA;;;IU)
constexpr DWORD kRecordedOwner = 16;     // the Administrators made the key's owner
constexpr DWORD kRecordedOthersOut = 32; // entries that let others change the key taken out

// A list of exactly that many characters as Wine writes it: the head, entries that read, the tail.
std::string ListOfLength(size_t length, const std::string& head, const std::string& tail) {
    const std::string entry = "(A;;KR;;;S-1-5-21-1000-2000-3000-"; // + a RID of 4 to 6 digits + ")"
    const size_t room = length - head.size() - tail.size();
    const size_t count = room / (entry.size() + 5);
    size_t extra = room - count * (entry.size() + 5); // digits beyond four, at most two an entry
    std::string list = head;
    for (size_t i = 0; i < count; ++i) {
        const size_t digits = extra < 2 ? extra : 2;
        extra -= digits;
        list += entry + std::to_string((digits == 0 ? 1000 : digits == 1 ? 10000 : 100000) + i) + ")";
    }
    return list + tail;
}

class ThresholdKeyGrant : public ::testing::Test {
protected:
    ThresholdKeyGrant() : m_folder(CurrentTestName()) {
        // A key left by another test would bring its owner and list along.
        ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, contract::kThresholdKey, KEY_WOW64_64KEY, 0);
        mirov::UniqueHkey key;
        ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, contract::kThresholdKey, 0, nullptr, 0,
                          KEY_READ | KEY_WOW64_64KEY, nullptr, key.Put(), nullptr);
        m_list.emplace(contract::kThresholdKey, KEY_WOW64_64KEY);
    }

    void SetUp() override {
        const std::string whyNot = WhyInstallerCannotRun();
        if (!whyNot.empty())
            GTEST_SKIP() << whyNot;
    }

    ~ThresholdKeyGrant() override {
        m_list.reset();
        ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, contract::kThresholdKey, KEY_WOW64_64KEY, 0);
        ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, KEY_WOW64_64KEY, 0); // when empty
        RemoveInstallerEntries();
    }

    std::string Dir() const { return m_folder.Path().substr(0, m_folder.Path().size() - 1); }
    DWORD Install() const { return RunToEnd(InstallerPath(), "/S /D=" + Dir()); }
    DWORD Uninstall() const { return RunToEnd(m_folder / "TorvexHelp-Uninstall.exe", "/S _?=" + Dir()); }

    // The uninstall entry's record of the 64-bit view, or 0 when there is none.
    static DWORD Record() {
        DWORD value = 0, size = sizeof value;
        mirov::UniqueHkey key;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                            key.Put()) ||
            ::RegGetValueA(key.Get(), nullptr, "ThresholdKey64", RRF_RT_REG_DWORD, nullptr, &value, &size))
            return 0;
        return value;
    }

    // What an earlier installation left: its record, and the uninstall entry that holds it.
    static void RecordEarlierInstallation(DWORD record) {
        mirov::UniqueHkey key;
        ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                          nullptr, key.Put(), nullptr);
        ::RegSetValueExA(key.Get(), "ThresholdKey64", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&record),
                         sizeof record);
    }

    const KeyAccessList& List() const { return *m_list; }

    TestFolder m_folder;
    std::optional<KeyAccessList> m_list;
};

// Lists of 1,012 to 1,022 characters got no grant and 1,023 a record of one it had not made; this
// one's own entries all stay.
TEST_F(ThresholdKeyGrant, ListsAtAndBeyondAThousandCharactersGetTheGrantAndLoseItAgain) {
    for (size_t length : {1012u, 1023u, 1024u, 2500u}) {
        SCOPED_TRACE(length);
        const std::string original = ListOfLength(length, "D:P(A;;KA;;;SY)(A;;KA;;;BA)", "");
        ASSERT_TRUE(List().Set(original));
        ASSERT_EQ(List().Get().size(), length);
        ASSERT_EQ(Install(), 0u);
        EXPECT_EQ(List().Get(), Normalized(original + kGrant));
        EXPECT_EQ(Record(), kRecordedGrant);
        ASSERT_EQ(Uninstall(), 0u);
        EXPECT_EQ(List().Get(), original);
        EXPECT_EQ(Record(), 0u);
    }
}

// Where neither the key nor the vendor's key above it is there, the installer makes both and records
// it; the uninstaller removes both again.
TEST_F(ThresholdKeyGrant, KeysTheInstallerMakesAreRecordedAndRemovedAgain) {
    m_list.reset();
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, contract::kThresholdKey, KEY_WOW64_64KEY, 0);
    ASSERT_EQ(::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
    ASSERT_EQ(Install(), 0u);
    EXPECT_TRUE(RegistryHolds(contract::kThresholdKey, nullptr));
    EXPECT_EQ(Record(), kRecordedKey | kRecordedVendorKey | kRecordedGrant);
    ASSERT_EQ(Uninstall(), 0u);
    EXPECT_FALSE(RegistryHolds(contract::kThresholdKey, nullptr));
    EXPECT_FALSE(RegistryHolds(kVendorKey, nullptr));
}

// The key's own entries first, denies before allows, then the inherited ones: the grant goes after
// the last own entry before them. Here one of the key's own entries comes after an inherited one,
// which the earlier installer's cut at 1,024 characters took away for good.
TEST_F(ThresholdKeyGrant, ListOutOfWindowsOrderKeepsEveryEntry) {
    const std::string head = "D:(D;;KA;;;AN)(A;;KA;;;BA)";
    const std::string tail = "(A;ID;KR;;;BU)(A;;KA;;;SY)";
    const std::string filled = ListOfLength(1023, head, tail);
    const std::string original = filled;
    ASSERT_TRUE(List().Set(original));
    ASSERT_EQ(List().Get().size(), 1023u);
    ASSERT_EQ(Install(), 0u);
    const std::string own = filled.substr(0, filled.size() - tail.size());
    EXPECT_EQ(List().Get(), Normalized(own + kGrant + tail));
    ASSERT_EQ(Uninstall(), 0u);
    EXPECT_EQ(List().Get(), original) << "SYSTEM's entry must stay";
}

TEST_F(ThresholdKeyGrant, InstallOverAnEarlierFullAccessGrantReplacesIt) {
    const std::string original = "D:P(A;;KA;;;SY)(A;;KA;;;BA)";
    ASSERT_TRUE(List().Set(original + "(A;;KA;;;IU)"));
    RecordEarlierInstallation(kRecordedFullAccess);
    ASSERT_EQ(Install(), 0u);
    EXPECT_EQ(List().Get(), Normalized(original + kGrant));
    EXPECT_EQ(Record(), kRecordedGrant);
    ASSERT_EQ(Uninstall(), 0u);
    EXPECT_EQ(List().Get(), original);
}

// Owner and list changed so that administrators may no longer change the list.
constexpr char kLocked[] = "O:SYD:P(A;;KR;;;WD)";

// The files come before the key: they stay, with the uninstaller that removes them, but the program
// is not registered for the logon.
TEST_F(ThresholdKeyGrant, GrantThatCannotBeMadeFailsTheInstallAndRegistersNothing) {
    ASSERT_TRUE(List().Set(kLocked));
    EXPECT_EQ(Install(), 4u);
    EXPECT_EQ(List().Get(), Normalized(kLocked));
    EXPECT_EQ(Record(), 0u);
    EXPECT_FALSE(RegistryHolds(kRunKey, contract::kRunValue));
    EXPECT_EQ(Uninstall(), 0u);
    EXPECT_EQ(::GetFileAttributesA((m_folder / "TorvexHelp.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(RegistryHolds(kUninstallKey, nullptr));
}

// A key without any list lets anyone change it: refused, and given no list of the installer's choosing.
TEST_F(ThresholdKeyGrant, KeyWithoutAnAccessListIsRefusedAndLeftAsItWas) {
    ASSERT_TRUE(List().Set("O:BUD:P(A;;KA;;;SY)(A;;KA;;;BA)"));
    ASSERT_TRUE(List().SetNoList());
    const std::string before = List().Get();
    EXPECT_EQ(Install(), 4u);
    EXPECT_EQ(List().Get(), before);
    EXPECT_EQ(List().Owner(), "O:BU");
    EXPECT_EQ(Record(), 0u);
    EXPECT_FALSE(RegistryHolds(kRunKey, contract::kRunValue));
}

// Another program holds the file: the installer stops before the key, and takes away the uninstaller it
// wrote, so nothing is left to undo.
TEST_F(ThresholdKeyGrant, ProgramFileThatCannotBeWrittenLeavesNoGrantNoRecordAndNoUninstaller) {
    const std::string original = "D:P(A;;KA;;;SY)(A;;KA;;;BA)";
    ASSERT_TRUE(List().Set(original));
    ASSERT_TRUE(m_folder.WriteFile("TorvexHelp.exe", "an earlier copy"));
    const mirov::UniqueHandle held(::CreateFileA((m_folder / "TorvexHelp.exe").c_str(), GENERIC_READ,
                                                 FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(Install(), 5u);
    EXPECT_EQ(List().Get(), original);
    EXPECT_EQ(Record(), 0u);
    EXPECT_FALSE(RegistryHolds(kUninstallKey, nullptr));
    EXPECT_FALSE(RegistryHolds(kRunKey, contract::kRunValue));
    EXPECT_EQ(::GetFileAttributesA((m_folder / "TorvexHelp-Uninstall.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ThresholdKeyGrant, UninstallThatCannotTakeTheGrantOutSaysSoAndKeepsTheRecord) {
    const std::string original = "D:P(A;;KA;;;SY)(A;;KA;;;BA)";
    ASSERT_TRUE(List().Set(original));
    ASSERT_EQ(Install(), 0u);
    ASSERT_TRUE(List().Set(std::string("O:SYD:P(A;;KR;;;WD)") + kGrant));
    EXPECT_EQ(Uninstall(), 4u);
    EXPECT_EQ(Record(), kRecordedGrant);
    EXPECT_NE(::GetFileAttributesA((m_folder / "TorvexHelp-Uninstall.exe").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the uninstaller that can act on the record must stay";

    // Once administrators may change the list again, the same uninstaller finishes the work.
    ASSERT_TRUE(List().Set("O:BA" + original + kGrant));
    ASSERT_EQ(Uninstall(), 0u);
    EXPECT_EQ(List().Get(), original);
    EXPECT_EQ(Record(), 0u);
}

// A grant someone else made, before the install: it is not recorded as the installer's, so the
// uninstaller leaves it.
TEST_F(ThresholdKeyGrant, GrantThatWasThereBeforeIsNeitherRecordedNorTakenOut) {
    const std::string granted = std::string("D:P(A;;KA;;;SY)(A;;KA;;;BA)") + kGrant;
    ASSERT_TRUE(List().Set(granted));
    ASSERT_EQ(Install(), 0u);
    EXPECT_EQ(Record(), 0u);
    ASSERT_EQ(Uninstall(), 0u);
    EXPECT_EQ(List().Get(), Normalized(granted));
}

// Made by anyone while an earlier installer granted full access, the key belongs to Users, who may
// always change its list: the Administrators become its owner, and stay so after the uninstall. The
// list keeps its protection, which Wine drops when the owner alone is written.
TEST_F(ThresholdKeyGrant, KeyOwnedByUsersEndsOwnedByTheAdministratorsWithItsListProtected) {
    const std::string original = "D:P(A;;KA;;;SY)(A;;KA;;;BA)";
    ASSERT_TRUE(List().Set("O:BU" + original));
    ASSERT_EQ(List().Owner(), "O:BU");
    ASSERT_EQ(Install(), 0u);
    EXPECT_EQ(List().Owner(), "O:BA");
    EXPECT_EQ(List().Get(), Normalized(original + kGrant));
    EXPECT_EQ(Record(), kRecordedOwner | kRecordedGrant);
    ASSERT_EQ(Uninstall(), 0u);
    EXPECT_EQ(List().Owner(), "O:BA");
    EXPECT_EQ(List().Get(), original);
}

// Entries that let others change the list (Users' "KRWD"), take the key or delete it are taken out and
// recorded, and not put back; reading, entries for sub-keys only and the trusted accounts' stay.
TEST_F(ThresholdKeyGrant, EntriesThatLetOthersChangeTheKeyAreTakenOutForGood) {
    const std::string kept = "D:P(A;;KA;;;SY)(A;;KA;;;BA)(A;;KR;;;BU)(A;CIIO;KA;;;AU)";
    ASSERT_TRUE(
        List().Set(kept + "(A;;KRWD;;;BU)(A;;WO;;;AU)(A;;SD;;;IU)(A;;KA;;;WD)(A;;GA;;;AN)(A;;GW;;;BG)"));
    ASSERT_EQ(Install(), 0u);
    EXPECT_EQ(List().Get(), Normalized(kept + kGrant));
    EXPECT_EQ(Record(), kRecordedOthersOut | kRecordedGrant);
    ASSERT_EQ(Uninstall(), 0u);
    EXPECT_EQ(List().Get(), Normalized(kept));
}

} // namespace
