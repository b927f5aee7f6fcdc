#include "tools/setupaccess/ThresholdKeyAccess.h"

#include "mirov/Handles.h"
#include "tools/setupaccess/AccessList.h"
#include "tools/setupaccess/Sids.h"

#include <optional>

namespace {

constexpr wchar_t kKey[] = L"Software\\Orvane\\TORVEX3";
constexpr SECURITY_DESCRIPTOR_CONTROL kKeptControl = SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED;

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

// Writes the list with the protection and inheritance marks the key's list had. Never a missing list,
// which would let everyone do anything.
LONG WriteListOf(HKEY key, const std::vector<BYTE>& list, SECURITY_DESCRIPTOR_CONTROL control) {
    if (list.size() < sizeof(ACL))
        return ERROR_INVALID_ACL;
    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE,
                                     reinterpret_cast<ACL*>(const_cast<BYTE*>(list.data())), FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor, kKeptControl, control & kKeptControl))
        return static_cast<LONG>(::GetLastError());
    return ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor);
}

// The key's owner as its bytes; empty with the error on failure.
SidBytes OwnerOf(HKEY key, LONG& error) {
    const std::vector<BYTE> descriptor = ReadSecurityOf(key, OWNER_SECURITY_INFORMATION, error);
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (descriptor.empty())
        return SidBytes();
    if (!::GetSecurityDescriptorOwner(const_cast<BYTE*>(descriptor.data()), &owner, &defaulted) || !owner) {
        error = ERROR_INVALID_SECURITY_DESCR;
        return SidBytes();
    }
    const BYTE* bytes = static_cast<const BYTE*>(owner);
    return SidBytes(bytes, bytes + ::GetLengthSid(owner));
}

LONG SetOwnerOf(HKEY key, PSID owner) {
    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorOwner(&descriptor, owner, FALSE))
        return static_cast<LONG>(::GetLastError());
    return ::RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, &descriptor);
}

// Turns the privilege that lets an administrator take the ownership of any object on or off again;
// false when the token does not hold it.
bool AllowTakingOwnership(bool allow) {
    mirov::UniqueHandle token;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = allow ? SE_PRIVILEGE_ENABLED : 0;
    return ::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Put()) &&
           ::LookupPrivilegeValueW(nullptr, L"SeTakeOwnershipPrivilege", &privileges.Privileges[0].Luid) &&
           ::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr) &&
           ::GetLastError() == ERROR_SUCCESS;
}

} // namespace

ThresholdKeyAccess::ThresholdKeyAccess(REGSAM view) : m_view(view) {}

std::wstring ThresholdKeyAccess::KeyName() const {
    return std::wstring(L"HKLM\\") + kKey +
           (m_view == KEY_WOW64_32KEY ? L" (32-bit view)" : L" (64-bit view)");
}

ThresholdKeyAccess::Result ThresholdKeyAccess::Failure(const wchar_t* what, LONG error) const {
    return {Outcome::Failed, std::wstring(what) + L" " + KeyName() + L": error " + std::to_wstring(error)};
}

LONG ThresholdKeyAccess::Open(OpenList& open) const {
    LONG error =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, READ_CONTROL | WRITE_DAC | m_view, open.key.Put());
    if (error != ERROR_SUCCESS)
        return error;
    open.descriptor = ReadSecurityOf(open.key.Get(), DACL_SECURITY_INFORMATION, error);
    if (open.descriptor.empty())
        return error;
    BOOL present = FALSE, defaulted = FALSE;
    DWORD revision = 0;
    auto* sd = open.descriptor.data();
    if (!::GetSecurityDescriptorDacl(sd, &present, &open.acl, &defaulted) ||
        !::GetSecurityDescriptorControl(sd, &open.control, &revision))
        return static_cast<LONG>(::GetLastError());
    if (!present)
        open.acl = nullptr;
    return ERROR_SUCCESS;
}

ThresholdKeyAccess::Result ThresholdKeyAccess::Grant(bool replaceFullAccess) const {
    OpenList open;
    LONG error = Open(open);
    if (error != ERROR_SUCCESS)
        return Failure(L"Cannot read the access list of", error);
    if (!open.acl)
        return {Outcome::Unchanged, KeyName() + L" has no access list: everyone may use it already"};
    const SidBytes interactive = WellKnownSid(WinInteractiveSid);
    const PSID sid = const_cast<BYTE*>(interactive.data());
    std::optional<AccessList> read = AccessList::Read(*open.acl);
    if (!read)
        return Failure(L"An entry cannot be read in the access list of", ERROR_INVALID_ACL);
    AccessList& list = *read;
    const bool replaced = replaceFullAccess && list.RemoveExplicitAllow(sid, KEY_ALL_ACCESS);
    const bool added = !list.HasExplicitAllow(sid, kGrantedRights);
    if (added)
        list.AddExplicitAllow(sid, kGrantedRights);
    if (!added && !replaced)
        return {Outcome::Unchanged, KeyName() + L" already lets the interactive users query and set values"};
    const std::vector<BYTE> newList = list.Build();
    if (newList.empty())
        return Failure(L"The access list would grow too long for", ERROR_INVALID_ACL);
    error = WriteListOf(open.key.Get(), newList, open.control);
    if (error != ERROR_SUCCESS)
        return Failure(L"Cannot change the access list of", error);
    const std::wstring how = replaced ? L", in place of the full access an earlier installer granted" : L"";
    if (!added)
        return {Outcome::Unchanged,
                KeyName() + L" already let the interactive users query and set values" + how};
    return {Outcome::Changed, L"Granted the interactive users query and set value on " + KeyName() + how};
}

ThresholdKeyAccess::Result ThresholdKeyAccess::Revoke(ACCESS_MASK rights) const {
    OpenList open;
    LONG error = Open(open);
    if (error == ERROR_FILE_NOT_FOUND)
        return {Outcome::Unchanged, KeyName() + L" is gone, and its grant with it"};
    if (error != ERROR_SUCCESS)
        return Failure(L"Cannot read the access list of", error);
    const SidBytes interactive = WellKnownSid(WinInteractiveSid);
    if (!open.acl)
        return {Outcome::Unchanged, KeyName() + L" has no access list, so no grant to take out"};
    std::optional<AccessList> list = AccessList::Read(*open.acl);
    if (!list)
        return Failure(L"An entry cannot be read in the access list of", ERROR_INVALID_ACL);
    if (!list->RemoveExplicitAllow(const_cast<BYTE*>(interactive.data()), rights))
        return {Outcome::Unchanged, KeyName() + L" holds no such grant any more"};
    const std::vector<BYTE> newList = list->Build();
    if (newList.empty())
        return Failure(L"The access list cannot be made anew for", ERROR_INVALID_ACL);
    error = WriteListOf(open.key.Get(), newList, open.control);
    if (error != ERROR_SUCCESS)
        return Failure(L"Cannot change the access list of", error);
    return {Outcome::Changed, L"Took the interactive users' grant out of " + KeyName()};
}

ThresholdKeyAccess::Result ThresholdKeyAccess::MakeAdministratorsOwner(const TrustedAccounts& trusted) const {
    mirov::UniqueHkey key;
    LONG error = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, READ_CONTROL | m_view, key.Put());
    SidBytes owner = error == ERROR_SUCCESS ? OwnerOf(key.Get(), error) : SidBytes();
    if (owner.empty())
        return Failure(L"Cannot read the owner of", error);
    const std::wstring before = AccountName(owner.data());
    if (trusted.Contains(owner.data()))
        return {Outcome::Unchanged, KeyName() + L" is owned by " + before};
    // Its owner need not have granted the administrators anything.
    const bool allowed = AllowTakingOwnership(true);
    mirov::UniqueHkey writable;
    error = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, WRITE_OWNER | m_view, writable.Put());
    const SidBytes administrators = WellKnownSid(WinBuiltinAdministratorsSid);
    if (error == ERROR_SUCCESS)
        error = SetOwnerOf(writable.Get(), const_cast<BYTE*>(administrators.data()));
    if (allowed)
        AllowTakingOwnership(false);
    if (error != ERROR_SUCCESS)
        return Failure((L"Cannot take the ownership from " + before + L" of").c_str(), error);
    owner = OwnerOf(key.Get(), error);
    if (owner != administrators)
        return Failure((L"The owner did not change from " + before + L" of").c_str(),
                       error == ERROR_SUCCESS ? ERROR_INVALID_OWNER : error);
    return {Outcome::Changed, L"Made BUILTIN\\Administrators the owner of " + KeyName() + L" in place of " +
                                  before + L", who could change its access list"};
}
