#include "installer/AccessList.h"

#include <cstddef>
#include <limits>
#include <utility>

namespace {

constexpr BYTE kInheritanceFlags =
    OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | NO_PROPAGATE_INHERIT_ACE | INHERIT_ONLY_ACE | INHERITED_ACE;
// What an entry for folders keeps when it passes on to a new folder and further.
constexpr BYTE kPassedOn = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

const ACE_HEADER& Header(const std::vector<BYTE>& entry) {
    return *reinterpret_cast<const ACE_HEADER*>(entry.data());
}

// Both kinds hold the mask and the SID where a plain allow entry does.
bool IsAllow(const ACE_HEADER& header) {
    return header.AceType == ACCESS_ALLOWED_ACE_TYPE || header.AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
}

// The rights and the account of an entry of those kinds; nothing when they reach beyond its end.
std::optional<AccessList::Allowance> AllowanceIn(const std::vector<BYTE>& entry) {
    constexpr size_t kSidStart = offsetof(ACCESS_ALLOWED_ACE, SidStart);
    if (entry.size() < kSidStart)
        return std::nullopt;
    std::optional<Sid> account = Sid::Copy(entry.data() + kSidStart, entry.size() - kSidStart);
    if (!account)
        return std::nullopt;
    return AccessList::Allowance{reinterpret_cast<const ACCESS_ALLOWED_ACE*>(entry.data())->Mask, *account};
}

bool IsDeny(const ACE_HEADER& header) {
    switch (header.AceType) {
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
        return true;
    default:
        return false;
    }
}

} // namespace

AccessList::AccessList(BYTE revision) : m_revision(revision) {}

std::optional<AccessList> AccessList::Read(const ACL& list) {
    // Windows' check also judges each entry's account; Wine's the revision and the sizes alone.
    if (!::IsValidAcl(const_cast<ACL*>(&list))) // it only reads the list
        return std::nullopt;
    AccessList read(list.AclRevision);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&list);
    size_t offset = sizeof(ACL);
    for (DWORD i = 0; i < list.AceCount; ++i) {
        if (offset + sizeof(ACE_HEADER) > list.AclSize)
            return std::nullopt;
        const WORD size = reinterpret_cast<const ACE_HEADER*>(bytes + offset)->AceSize;
        if (size < sizeof(ACE_HEADER) || offset + size > list.AclSize)
            return std::nullopt;
        read.m_entries.emplace_back(bytes + offset, bytes + offset + size);
        if (IsAllow(read.Entry(i)) && !AllowanceIn(read.m_entries.back()))
            return std::nullopt;
        offset += size;
    }
    return read;
}

const ACE_HEADER& AccessList::Entry(size_t index) const {
    return Header(m_entries[index]);
}

std::optional<AccessList::Allowance> AccessList::AllowanceOf(size_t index) const {
    return IsAllow(Entry(index)) ? AllowanceIn(m_entries[index]) : std::nullopt;
}

void AccessList::Remove(size_t index) {
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
}

size_t AccessList::FindExplicitAllow(const Sid& sid, ACCESS_MASK rights) const {
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const ACE_HEADER& header = Header(m_entries[i]);
        if (header.AceType != ACCESS_ALLOWED_ACE_TYPE || (header.AceFlags & kInheritanceFlags))
            continue;
        const std::optional<Allowance> allow = AllowanceOf(i);
        if (allow && allow->rights == rights && allow->account == sid)
            return i;
    }
    return m_entries.size();
}

bool AccessList::HasExplicitAllow(const Sid& sid, ACCESS_MASK rights) const {
    return FindExplicitAllow(sid, rights) < m_entries.size();
}

size_t AccessList::PlaceForExplicitAllow() const {
    size_t firstInherited = m_entries.size();
    size_t afterLastOwnDeny = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const ACE_HEADER& header = Header(m_entries[i]);
        if (header.AceFlags & INHERITED_ACE) {
            if (firstInherited == m_entries.size())
                firstInherited = i;
        } else if (IsDeny(header)) {
            afterLastOwnDeny = i + 1;
        }
    }
    return firstInherited > afterLastOwnDeny ? firstInherited : afterLastOwnDeny;
}

void AccessList::AddExplicitAllow(const Sid& sid, ACCESS_MASK rights) {
    const DWORD sidSize = sid.Size();
    std::vector<BYTE> entry(sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + sidSize);
    auto* allow = reinterpret_cast<ACCESS_ALLOWED_ACE*>(entry.data());
    allow->Header.AceType = ACCESS_ALLOWED_ACE_TYPE;
    allow->Header.AceFlags = 0;
    allow->Header.AceSize = static_cast<WORD>(entry.size());
    allow->Mask = rights;
    ::CopySid(sidSize, &allow->SidStart, sid.Get());
    if (m_revision < ACL_REVISION)
        m_revision = ACL_REVISION;
    m_entries.insert(m_entries.begin() + static_cast<std::ptrdiff_t>(PlaceForExplicitAllow()), entry);
}

bool AccessList::RemoveExplicitAllow(const Sid& sid, ACCESS_MASK rights) {
    const size_t found = FindExplicitAllow(sid, rights);
    if (found == m_entries.size())
        return false;
    Remove(found);
    return true;
}

AccessList AccessList::InheritedByNewFolder() const {
    AccessList inherited(m_revision);
    for (const auto& entry : m_entries) {
        const BYTE flags = Header(entry).AceFlags;
        const bool onlyOnce = flags & NO_PROPAGATE_INHERIT_ACE;
        BYTE passed = 0;
        if (flags & CONTAINER_INHERIT_ACE)
            passed = onlyOnce ? INHERITED_ACE : static_cast<BYTE>((flags & kPassedOn) | INHERITED_ACE);
        else if ((flags & OBJECT_INHERIT_ACE) && !onlyOnce)
            passed = OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE | INHERITED_ACE;
        else
            continue;
        std::vector<BYTE> copy = entry;
        reinterpret_cast<ACE_HEADER*>(copy.data())->AceFlags =
            static_cast<BYTE>((flags & ~kInheritanceFlags) | passed);
        inherited.m_entries.push_back(std::move(copy));
    }
    return inherited;
}

std::vector<BYTE> AccessList::Build() const {
    // All entries in one run, which AddAce takes whole.
    std::vector<BYTE> entries;
    for (const auto& entry : m_entries)
        entries.insert(entries.end(), entry.begin(), entry.end());
    const size_t size = sizeof(ACL) + entries.size();
    if (size > std::numeric_limits<WORD>::max())
        return std::vector<BYTE>();
    std::vector<BYTE> list(size);
    ACL* acl = reinterpret_cast<ACL*>(list.data());
    if (!::InitializeAcl(acl, static_cast<DWORD>(size), m_revision))
        return std::vector<BYTE>();
    if (!entries.empty() &&
        !::AddAce(acl, m_revision, MAXDWORD, entries.data(), static_cast<DWORD>(entries.size())))
        return std::vector<BYTE>();
    return list;
}
