#include "installer/ThresholdKeyAccess.h"

#include "installer/AccessList.h"
#include "installer/Sids.h"
#include "mirov/Contract.h"

#include <utility>
#include <vector>

namespace {

constexpr auto kKey = contract::Wide(contract::kThresholdKey);

// What in an allow entry lets its account change the key's list or owner, or delete the key, in words;
// "" for none. Full access holds all three.
std::wstring ChangesInWords(ACCESS_MASK rights) {
    const std::pair<ACCESS_MASK, const wchar_t*> words[] = {{GENERIC_ALL, L"do anything with it"},
                                                            {GENERIC_WRITE, L"write to it"},
                                                            {WRITE_DAC, L"change its access list"},
                                                            {WRITE_OWNER, L"take its ownership"},
                                                            {DELETE, L"delete it"}};
    std::wstring said;
    for (const auto& [right, word] : words) {
        if (rights & right)
            said += (said.empty() ? L"" : L", ") + std::wstring(word);
    }
    return said;
}

bool IsObjectAllow(const ACE_HEADER& entry) {
    return entry.AceType == ACCESS_ALLOWED_OBJECT_ACE_TYPE ||
           entry.AceType == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE;
}

// Both kinds hold the mask and the SID where a plain allow entry does.
bool IsPlainAllow(const ACE_HEADER& entry) {
    return entry.AceType == ACCESS_ALLOWED_ACE_TYPE || entry.AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
}

} // namespace

ThresholdKeyAccess::ThresholdKeyAccess(REGSAM view) : m_view(view) {}

std::wstring ThresholdKeyAccess::KeyName() const {
    return std::wstring(L"HKLM\\") + kKey.text +
           (m_view == KEY_WOW64_32KEY ? L" (32-bit view)" : L" (64-bit view)");
}

ThresholdKeyAccess::Result ThresholdKeyAccess::Failure(const std::wstring& what, LONG error) const {
    return {Outcome::Failed, what + L" " + KeyName() + L": error " + std::to_wstring(error)};
}

ThresholdKeyAccess::Result ThresholdKeyAccess::WriteFailure(const std::wstring& what, LONG error) const {
    if (error == ERROR_INVALID_SECURITY_DESCR)
        return Failure(what + L", or what the system changed with it cannot be written back as it was, on",
                       error);
    return Failure(what, error);
}

std::optional<ThresholdKeyAccess::Result> ThresholdKeyAccess::ReadWithList(KeySecurity& security) const {
    const LONG error = security.Read();
    if (error != ERROR_SUCCESS)
        return Failure(L"Cannot read the owner and access list of", error);
    if (!security.List())
        return Result{Outcome::Failed, KeyName() + L" has no access list, so anyone may change it, its owner "
                                                   L"or its values, or delete it: give it a list that lets "
                                                   L"only the administrators change it"};
    return std::nullopt;
}

ThresholdKeyAccess::Result ThresholdKeyAccess::Grant(bool replaceFullAccess) const {
    KeySecurity security(HKEY_LOCAL_MACHINE, kKey.text, m_view);
    if (const std::optional<Result> failed = ReadWithList(security))
        return *failed;
    const SidBytes interactive = WellKnownSid(WinInteractiveSid);
    const PSID sid = const_cast<BYTE*>(interactive.data());
    AccessList list = *security.List();
    const bool replaced = replaceFullAccess && list.RemoveExplicitAllow(sid, KEY_ALL_ACCESS);
    const bool added = !list.HasExplicitAllow(sid, kGrantedRights);
    if (added)
        list.AddExplicitAllow(sid, kGrantedRights);
    if (!added && !replaced)
        return {Outcome::Unchanged, KeyName() + L" already lets the interactive users query and set values"};
    if (list.Build().empty())
        return Failure(L"The access list would grow too long for", ERROR_INVALID_ACL);
    const LONG error = security.WriteList(list);
    if (error != ERROR_SUCCESS)
        return WriteFailure(L"Cannot change the access list of", error);
    const std::wstring how = replaced ? L", in place of the full access an earlier installer granted" : L"";
    if (!added)
        return {Outcome::Unchanged,
                KeyName() + L" already let the interactive users query and set values" + how};
    return {Outcome::Changed, L"Granted the interactive users query and set value on " + KeyName() + how};
}

ThresholdKeyAccess::Result ThresholdKeyAccess::Revoke(ACCESS_MASK rights) const {
    KeySecurity security(HKEY_LOCAL_MACHINE, kKey.text, m_view);
    const LONG read = security.Read();
    if (read == ERROR_FILE_NOT_FOUND)
        return {Outcome::Unchanged, KeyName() + L" is gone, and its grant with it"};
    if (read != ERROR_SUCCESS)
        return Failure(L"Cannot read the owner and access list of", read);
    if (!security.List())
        return {Outcome::Unchanged, KeyName() + L" has no access list, so no grant to take out"};
    const SidBytes interactive = WellKnownSid(WinInteractiveSid);
    AccessList list = *security.List();
    if (!list.RemoveExplicitAllow(const_cast<BYTE*>(interactive.data()), rights))
        return {Outcome::Unchanged, KeyName() + L" holds no such grant any more"};
    const LONG error = security.WriteList(list);
    if (error != ERROR_SUCCESS)
        return WriteFailure(L"Cannot change the access list of", error);
    return {Outcome::Changed, L"Took the interactive users' grant out of " + KeyName()};
}

ThresholdKeyAccess::Result ThresholdKeyAccess::MakeAdministratorsOwner(const TrustedAccounts& trusted) const {
    KeySecurity security(HKEY_LOCAL_MACHINE, kKey.text, m_view);
    if (const std::optional<Result> failed = ReadWithList(security))
        return *failed;
    SidBytes before = security.Owner();
    const std::wstring name = AccountName(before.data());
    if (trusted.Contains(before.data()))
        return {Outcome::Unchanged, KeyName() + L" is owned by " + name};
    const LONG error = security.WriteOwner(WellKnownSid(WinBuiltinAdministratorsSid));
    if (error != ERROR_SUCCESS)
        return WriteFailure(L"Cannot take the ownership from " + name + L" of", error);
    return {Outcome::Changed, L"Made BUILTIN\\Administrators the owner of " + KeyName() + L" in place of " +
                                  name + L", who could change its access list"};
}

ThresholdKeyAccess::Result ThresholdKeyAccess::TakeOutOthersChanges(const TrustedAccounts& trusted) const {
    KeySecurity security(HKEY_LOCAL_MACHINE, kKey.text, m_view);
    if (const std::optional<Result> failed = ReadWithList(security))
        return *failed;
    AccessList list = *security.List();
    std::wstring taken;
    for (size_t i = list.Size(); i-- > 0;) {
        const ACE_HEADER& entry = list.Entry(i);
        if (IsObjectAllow(entry))
            return Failure(L"An allow entry of a kind the installer does not read is in the access list of",
                           ERROR_INVALID_ACL);
        // Entries for sub-keys only do not reach the key itself.
        if (!IsPlainAllow(entry) || (entry.AceFlags & INHERIT_ONLY_ACE))
            continue;
        const auto* allow = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(&entry);
        const PSID sid = const_cast<DWORD*>(&allow->SidStart);
        const std::wstring changes = ChangesInWords(allow->Mask);
        if (changes.empty() || trusted.Contains(sid))
            continue;
        const std::wstring who = AccountName(sid) + L" may " + changes;
        if (entry.AceFlags & INHERITED_ACE)
            return {Outcome::Failed, KeyName() + L": " + who +
                                         L", through an entry its parent key passes on: "
                                         L"let only the administrators change that key"};
        taken = who + (taken.empty() ? L"" : L"; " + taken);
        list.Remove(i);
    }
    if (taken.empty())
        return {Outcome::Unchanged, L"No account but the trusted ones may change the list or owner of " +
                                        KeyName() + L", or delete it"};
    const LONG error = security.WriteList(list);
    if (error != ERROR_SUCCESS)
        return WriteFailure(L"Cannot change the access list of", error);
    return {Outcome::Changed, L"Took out of " + KeyName() + L" what let others change it: " + taken};
}
