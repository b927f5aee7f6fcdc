#include "tools/setupaccess/ThresholdKeyAccess.h"

#include "mirov/Handles.h"
#include "tools/setupaccess/AccessList.h"
#include "tools/setupaccess/Sids.h"

namespace {

constexpr wchar_t kKey[] = L"Software\\Orvane\\TORVEX3";
constexpr SECURITY_DESCRIPTOR_CONTROL kKeptControl = SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED;

// The key's security descriptor with its access list, however long; empty with the error on failure.
std::vector<BYTE> ReadListOf(HKEY key, LONG& error) {
    std::vector<BYTE> descriptor(1024);
    for (;;) {
        DWORD size = static_cast<DWORD>(descriptor.size());
        error = ::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.data(), &size);
        if (error == ERROR_SUCCESS)
            return descriptor;
        if (error != ERROR_INSUFFICIENT_BUFFER || size <= descriptor.size())
            return std::vector<BYTE>();
        descriptor.resize(size);
    }
}

// Writes the list with the protection and inheritance marks the key's list had.
LONG WriteListOf(HKEY key, const std::vector<BYTE>& list, SECURITY_DESCRIPTOR_CONTROL control) {
    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE,
                                     reinterpret_cast<ACL*>(const_cast<BYTE*>(list.data())), FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor, kKeptControl, control & kKeptControl))
        return static_cast<LONG>(::GetLastError());
    return ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor);
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
    open.descriptor = ReadListOf(open.key.Get(), error);
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
    AccessList list(*open.acl);
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
    AccessList list(*open.acl);
    if (!list.RemoveExplicitAllow(const_cast<BYTE*>(interactive.data()), rights))
        return {Outcome::Unchanged, KeyName() + L" holds no such grant any more"};
    error = WriteListOf(open.key.Get(), list.Build(), open.control);
    if (error != ERROR_SUCCESS)
        return Failure(L"Cannot change the access list of", error);
    return {Outcome::Changed, L"Took the interactive users' grant out of " + KeyName()};
}
