#include "installer/ChangeRights.h"

#include <utility>
#include <vector>

namespace {

// Rights that change a folder's content, its list or its owner; and those of a file.
constexpr ACCESS_MASK kFolderChanges =
    FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr ACCESS_MASK kFileChanges = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER;
// Above the install folder, adding files or folders harms nothing; moving a folder away does.
constexpr ACCESS_MASK kParentChanges = FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER;

ACCESS_MASK ChangesOf(ChangeRights::Kind kind) {
    switch (kind) {
    case ChangeRights::Kind::Folder:
        return kFolderChanges;
    case ChangeRights::Kind::Parent:
        return kParentChanges;
    default:
        return kFileChanges;
    }
}

// Generic rights (GA, GW) as the file rights they stand for.
ACCESS_MASK FileRights(ACCESS_MASK mask) {
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    ::MapGenericMask(&mask, &mapping);
    return mask;
}

std::wstring RightsInWords(ACCESS_MASK rights, ChangeRights::Kind kind) {
    const std::vector<std::pair<ACCESS_MASK, const wchar_t*>> folderWords = {
        {FILE_ADD_FILE, L"add files"},
        {FILE_ADD_SUBDIRECTORY, L"add folders"},
        {FILE_DELETE_CHILD, L"delete or rename what is in it"},
        {DELETE, L"delete or rename it"},
        {WRITE_DAC, L"change its access list"},
        {WRITE_OWNER, L"take its ownership"}};
    const std::vector<std::pair<ACCESS_MASK, const wchar_t*>> fileWords = {
        {FILE_WRITE_DATA, L"write to"},
        {FILE_APPEND_DATA, L"append to"},
        {DELETE, L"delete or rename"},
        {WRITE_DAC, L"change the access list of"},
        {WRITE_OWNER, L"take the ownership of"}};
    std::wstring words;
    for (const auto& [right, word] : kind == ChangeRights::Kind::File ? fileWords : folderWords) {
        if (rights & right)
            words += (words.empty() ? L"" : L", ") + std::wstring(word);
    }
    return words;
}

} // namespace

ChangeRights::ChangeRights(TrustedAccounts trusted)
    : m_trusted(std::move(trusted)),
      // Stands, in entries that new files inherit, for the account that makes them: the installer.
      m_creatorOwner(Sid::WellKnown(WinCreatorOwnerSid)) {}

bool ChangeRights::IsTrusted(const Sid& sid) const {
    return m_trusted.Contains(sid) || (m_creatorOwner && *m_creatorOwner == sid);
}

std::wstring ChangeRights::WhyUnsafe(PSECURITY_DESCRIPTOR descriptor, Kind kind) const {
    PSID ownerSid = nullptr;
    BOOL defaulted = FALSE;
    const std::optional<Sid> owner =
        ::GetSecurityDescriptorOwner(descriptor, &ownerSid, &defaulted) ? Sid::Copy(ownerSid) : std::nullopt;
    if (!owner)
        return L"its owner cannot be read";
    // An owner may always change the access list.
    if (!IsTrusted(*owner))
        return L"its owner " + owner->AccountName() + L" may change its access list";
    BOOL present = FALSE;
    PACL list = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted))
        return L"its access list cannot be read";
    if (!present || !list)
        return L"it has no access list: everyone may change it";
    const std::optional<AccessList> entries = AccessList::Read(*list);
    if (!entries)
        return L"an entry of its access list cannot be read";
    return WhyUnsafe(*entries, kind);
}

std::wstring ChangeRights::WhyUnsafe(const AccessList& list, Kind kind) const {
    for (size_t i = 0; i < list.Size(); ++i) {
        const std::wstring why = WhyUnsafeEntry(list, i, kind);
        if (!why.empty())
            return why;
    }
    return std::wstring();
}

std::wstring ChangeRights::WhyUnsafeEntry(const AccessList& list, size_t index, Kind kind) const {
    const std::optional<AccessList::Allowance> allow = list.AllowanceOf(index);
    if (!allow || IsTrusted(allow->account))
        return std::wstring();
    const ACE_HEADER& entry = list.Entry(index);
    const ACCESS_MASK rights = FileRights(allow->rights);
    const bool onItself = !(entry.AceFlags & INHERIT_ONLY_ACE);
    const ACCESS_MASK itself = onItself ? rights & ChangesOf(kind) : 0;
    const bool onNewFiles = kind == Kind::Folder && (entry.AceFlags & OBJECT_INHERIT_ACE);
    const ACCESS_MASK newFiles = onNewFiles ? rights & kFileChanges : 0;
    if (itself)
        return allow->account.AccountName() + L" may " + RightsInWords(itself, kind) +
               (kind == Kind::File ? L" it" : L"");
    if (newFiles)
        return allow->account.AccountName() + L" may " + RightsInWords(newFiles, Kind::File) +
               L" the files made in it";
    return std::wstring();
}
