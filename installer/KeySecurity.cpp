#include "installer/KeySecurity.h"

#include "mirov/Handles.h"
#include "installer/EnabledPrivilege.h"

#include <utility>
#include <vector>

namespace {

constexpr SECURITY_INFORMATION kWhole = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// The key's security descriptor with what is asked for, however long; empty with the error on failure.
std::vector<BYTE> ReadSecurityOf(HKEY key, SECURITY_INFORMATION what, LONG& error) {
    std::vector<BYTE> descriptor(1024);
    for (;;) {
        DWORD size = static_cast<DWORD>(descriptor.size());
        error = ::RegGetKeySecurity(key, what, descriptor.data(), &size);
        if (error == ERROR_SUCCESS)
            return descriptor;
        if (error != ERROR_INSUFFICIENT_BUFFER || size <= descriptor.size())
            return std::vector<BYTE>();
        descriptor.resize(size);
    }
}

} // namespace

bool KeySecurity::State::operator==(const State& other) const {
    return owner == other.owner && list == other.list && isProtected == other.isProtected &&
           autoInherited == other.autoInherited;
}

KeySecurity::KeySecurity(HKEY root, std::wstring path, REGSAM view)
    : m_root(root), m_path(std::move(path)), m_view(view) {}

LONG KeySecurity::Read() {
    LONG error = ERROR_SUCCESS;
    m_state = ReadState(error);
    return error;
}

std::optional<KeySecurity::State> KeySecurity::ReadState(LONG& error) const {
    mirov::UniqueHkey key;
    error = ::RegOpenKeyExW(m_root, m_path.c_str(), 0, READ_CONTROL | m_view, key.Put());
    if (error != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<BYTE> descriptor = ReadSecurityOf(key.Get(), kWhole, error);
    if (descriptor.empty())
        return std::nullopt;
    return StateIn(descriptor.data(), error);
}

std::optional<KeySecurity::State> KeySecurity::StateIn(PSECURITY_DESCRIPTOR descriptor, LONG& error) {
    PSID owner = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) ||
        !::GetSecurityDescriptorControl(descriptor, &control, &revision)) {
        error = static_cast<LONG>(::GetLastError());
        return std::nullopt;
    }
    const std::optional<Sid> ownerSid = Sid::Copy(owner);
    if (!ownerSid) {
        error = ERROR_INVALID_OWNER;
        return std::nullopt;
    }
    std::optional<AccessList> list;
    if (present && acl) {
        list = AccessList::Read(*acl);
        if (!list) {
            error = ERROR_INVALID_ACL;
            return std::nullopt;
        }
    }
    error = ERROR_SUCCESS;
    return State{*ownerSid, std::move(list), (control & SE_DACL_PROTECTED) != 0,
                 (control & SE_DACL_AUTO_INHERITED) != 0};
}

LONG KeySecurity::WriteOwner(const Sid& owner) {
    if (!m_state)
        return ERROR_INVALID_ACL;
    return WriteAndCheck({owner, m_state->list, m_state->isProtected, m_state->autoInherited},
                         OWNER_SECURITY_INFORMATION);
}

LONG KeySecurity::WriteList(const AccessList& list) {
    if (!m_state)
        return ERROR_INVALID_ACL;
    return WriteAndCheck({m_state->owner, list, m_state->isProtected, m_state->autoInherited},
                         DACL_SECURITY_INFORMATION);
}

// Only the part that changes is written, which needs only its own right; where the read-back shows
// the rest changed too, owner and list are written together, as meant.
LONG KeySecurity::WriteAndCheck(const State& meant, SECURITY_INFORMATION what) {
    if (!m_state->list || !meant.list)
        return ERROR_INVALID_ACL;
    LONG error = Write(meant, what);
    if (error != ERROR_SUCCESS)
        return error;
    std::optional<State> written = ReadState(error);
    if (written && !(*written == meant)) {
        error = Write(meant, kWhole);
        if (error == ERROR_SUCCESS)
            written = ReadState(error);
        if (written && !(*written == meant))
            error = ERROR_INVALID_SECURITY_DESCR;
    }
    if (error == ERROR_SUCCESS)
        m_state = written;
    return error;
}

// Writes the parts named, alone.
LONG KeySecurity::Write(const State& meant, SECURITY_INFORMATION what) const {
    const bool owner = what & OWNER_SECURITY_INFORMATION;
    const bool list = what & DACL_SECURITY_INFORMATION;
    std::vector<BYTE> entries = meant.list->Build();
    if (entries.empty())
        return ERROR_INVALID_ACL;
    constexpr SECURITY_DESCRIPTOR_CONTROL kListMarks = SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED;
    const SECURITY_DESCRIPTOR_CONTROL marks = static_cast<SECURITY_DESCRIPTOR_CONTROL>(
        (meant.isProtected ? SE_DACL_PROTECTED : 0) | (meant.autoInherited ? SE_DACL_AUTO_INHERITED : 0));
    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        (owner && !::SetSecurityDescriptorOwner(&descriptor, meant.owner.Get(), FALSE)) ||
        (list &&
         !::SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<ACL*>(entries.data()), FALSE)) ||
        (list && !::SetSecurityDescriptorControl(&descriptor, kListMarks, marks)))
        return static_cast<LONG>(::GetLastError());
    // An administrator may take the ownership of any key, and set any account as its owner, whatever
    // its list grants: the earlier owner need not have granted anything.
    std::optional<EnabledPrivilege> taking, restoring;
    if (owner) {
        taking.emplace(L"SeTakeOwnershipPrivilege");
        restoring.emplace(L"SeRestorePrivilege");
    }
    const REGSAM rights = READ_CONTROL | (owner ? WRITE_OWNER : 0) | (list ? WRITE_DAC : 0);
    mirov::UniqueHkey key;
    const LONG error = ::RegOpenKeyExW(m_root, m_path.c_str(), 0, rights | m_view, key.Put());
    return error != ERROR_SUCCESS ? error : ::RegSetKeySecurity(key.Get(), what, &descriptor);
}
