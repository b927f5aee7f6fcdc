#include "tools/setupaccess/ChangeRights.h"

#include <utility>
#include <vector>

namespace {

// Rights that change a folder's content, its list or its owner; and those of a file.
constexpr ACCESS_MASK kFolderChanges =
    FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr ACCESS_MASK kFileChanges = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER;

constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// Generic rights (GA, GW) as the file rights they stand for.
ACCESS_MASK FileRights(ACCESS_MASK mask) {
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    ::MapGenericMask(&mask, &mapping);
    return mask;
}

std::wstring RightsInWords(ACCESS_MASK rights, ChangeRights::Kind kind) {
    const std::vector<std::pair<ACCESS_MASK, const wchar_t*>> folderWords = {
        {FILE_ADD_FILE, L"add files"},          {FILE_ADD_SUBDIRECTORY, L"add folders"},
        {FILE_DELETE_CHILD, L"delete files"},   {DELETE, L"delete or rename it"},
        {WRITE_DAC, L"change its access list"}, {WRITE_OWNER, L"take its ownership"}};
    const std::vector<std::pair<ACCESS_MASK, const wchar_t*>> fileWords = {
        {FILE_WRITE_DATA, L"write to"},
        {FILE_APPEND_DATA, L"append to"},
        {DELETE, L"delete or rename"},
        {WRITE_DAC, L"change the access list of"},
        {WRITE_OWNER, L"take the ownership of"}};
    std::wstring words;
    for (const auto& [right, word] : kind == ChangeRights::Kind::Folder ? folderWords : fileWords) {
        if (rights & right)
            words += (words.empty() ? L"" : L", ") + std::wstring(word);
    }
    return words;
}

} // namespace

ChangeRights::ChangeRights(SidBytes installer)
    : m_trusted{WellKnownSid(WinLocalSystemSid), WellKnownSid(WinBuiltinAdministratorsSid),
                SidFromText(kTrustedInstaller),
                // Stands, in entries that new files inherit, for the account that makes them: the installer.
                WellKnownSid(WinCreatorOwnerSid), std::move(installer)} {}

bool ChangeRights::IsTrusted(PSID sid) const {
    for (const SidBytes& trusted : m_trusted) {
        if (!trusted.empty() && ::EqualSid(const_cast<BYTE*>(trusted.data()), sid))
            return true;
    }
    return false;
}

std::wstring ChangeRights::WhyUnsafe(PSECURITY_DESCRIPTOR descriptor, Kind kind) const {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner)
        return L"its owner cannot be read";
    // An owner may always change the access list.
    if (!IsTrusted(owner))
        return L"its owner " + AccountName(owner) + L" may change its access list";
    BOOL present = FALSE;
    PACL list = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted))
        return L"its access list cannot be read";
    if (!present || !list)
        return L"it has no access list: everyone may change it";
    for (DWORD i = 0; i < list->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(list, i, &entry))
            return L"its access list cannot be read";
        const std::wstring why = WhyUnsafeEntry(static_cast<const ACE_HEADER*>(entry), kind);
        if (!why.empty())
            return why;
    }
    return std::wstring();
}

std::wstring ChangeRights::WhyUnsafeEntry(const ACE_HEADER* entry, Kind kind) const {
    // Both kinds hold the mask and the SID where a plain allow entry does.
    if (entry->AceType != ACCESS_ALLOWED_ACE_TYPE && entry->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE)
        return std::wstring();
    const auto* allow = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(entry);
    const PSID sid = const_cast<DWORD*>(&allow->SidStart);
    if (IsTrusted(sid))
        return std::wstring();
    const ACCESS_MASK rights = FileRights(allow->Mask);
    const bool onItself = !(entry->AceFlags & INHERIT_ONLY_ACE);
    const ACCESS_MASK itself = onItself ? rights & (kind == Kind::Folder ? kFolderChanges : kFileChanges) : 0;
    const bool onNewFiles = kind == Kind::Folder && (entry->AceFlags & OBJECT_INHERIT_ACE);
    const ACCESS_MASK newFiles = onNewFiles ? rights & kFileChanges : 0;
    if (itself)
        return AccountName(sid) + L" may " + RightsInWords(itself, kind) +
               (kind == Kind::File ? L" it" : L"");
    if (newFiles)
        return AccountName(sid) + L" may " + RightsInWords(newFiles, Kind::File) + L" the files made in it";
    return std::wstring();
}
