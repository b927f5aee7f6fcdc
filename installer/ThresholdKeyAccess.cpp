#include "installer/ThresholdKeyAccess.h"

#include "installer/AccessList.h"
#include "installer/Sid.h"
#include "mirov/Contract.h"
#include "mirov/Handles.h"

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

// The vendor's key, which holds the program's.
std::wstring ParentOf(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L'\\'));
}

} // namespace

ThresholdKeyAccess::ThresholdKeyAccess(REGSAM view) : m_view(view) {}

std::wstring ThresholdKeyAccess::NameOf(const std::wstring& path) const {
    return L"HKLM\\" + path + (m_view == KEY_WOW64_32KEY ? L" (32-bit view)" : L" (64-bit view)");
}

std::wstring ThresholdKeyAccess::KeyName() const {
    return NameOf(kKey.text);
}

CommandResult ThresholdKeyAccess::Failure(const std::wstring& what, LONG error) const {
    return {ExitCode::Failed, what + L" " + KeyName() + L": error " + std::to_wstring(error)};
}

CommandResult ThresholdKeyAccess::WriteFailure(const std::wstring& what, LONG error) const {
    if (error == ERROR_INVALID_SECURITY_DESCR)
        return Failure(what + L", or what the system changed with it cannot be written back as it was, on",
                       error);
    return Failure(what, error);
}

std::optional<CommandResult> ThresholdKeyAccess::ReadWithList(KeySecurity& security) const {
    const LONG error = security.Read();
    if (error != ERROR_SUCCESS)
        return Failure(L"Cannot read the owner and access list of", error);
    if (!security.List())
        return CommandResult{ExitCode::Failed, KeyName() +
                                                   L" has no access list, so anyone may change it, its "
                                                   L"owner or its values, or delete it: give it a list "
                                                   L"that lets only the administrators change it"};
    return std::nullopt;
}

std::optional<CommandResult> ThresholdKeyAccess::InteractiveUsers(std::optional<Sid>& sid) const {
    sid = Sid::WellKnown(WinInteractiveSid);
    if (!sid)
        return Failure(L"Cannot name the interactive users for", static_cast<LONG>(::GetLastError()));
    return std::nullopt;
}

CommandResult ThresholdKeyAccess::Create(bool parent) const {
    const std::wstring path = parent ? ParentOf(kKey.text) : std::wstring(kKey.text);
    mirov::UniqueHkey key;
    DWORD disposition = 0;
    const LONG error =
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_READ | m_view, nullptr, key.Put(), &disposition);
    if (error != ERROR_SUCCESS)
        return {ExitCode::Failed, L"Can not create " + NameOf(path) + L": error " + std::to_wstring(error)};
    if (disposition != REG_CREATED_NEW_KEY)
        return {ExitCode::Unchanged, NameOf(path) + L" is there already"};
    return {ExitCode::Done, L"Created " + NameOf(path)};
}

CommandResult ThresholdKeyAccess::Grant(bool replaceFullAccess) const {
    KeySecurity security(HKEY_LOCAL_MACHINE, kKey.text, m_view);
    if (const std::optional<CommandResult> failed = ReadWithList(security))
        return *failed;
    std::optional<Sid> interactive;
    if (const std::optional<CommandResult> failed = InteractiveUsers(interactive))
        return *failed;
    AccessList list = *security.List();
    const bool replaced = replaceFullAccess && list.RemoveExplicitAllow(*interactive, KEY_ALL_ACCESS);
    const bool added = !list.HasExplicitAllow(*interactive, kGrantedRights);
    if (added)
        list.AddExplicitAllow(*interactive, kGrantedRights);
    if (!added && !replaced)
        return {ExitCode::Unchanged, KeyName() + L" already lets the interactive users query and set values"};
    if (list.Build().empty())
        return Failure(L"The access list would grow too long for", ERROR_INVALID_ACL);
    const LONG error = security.WriteList(list);
    if (error != ERROR_SUCCESS)
        return WriteFailure(L"Cannot change the access list of", error);
    const std::wstring how = replaced ? L", in place of the full access an earlier installer granted" : L"";
    if (!added)
        return {ExitCode::Unchanged,
                KeyName() + L" already let the interactive users query and set values" + how};
    return {ExitCode::Done, L"Granted the interactive users query and set value on " + KeyName() + how};
}

CommandResult ThresholdKeyAccess::Revoke(ACCESS_MASK rights) const {
    KeySecurity security(HKEY_LOCAL_MACHINE, kKey.text, m_view);
    const LONG read = security.Read();
    if (read == ERROR_FILE_NOT_FOUND)
        return {ExitCode::Unchanged, KeyName() + L" is gone, and its grant with it"};
    if (read != ERROR_SUCCESS)
        return Failure(L"Cannot read the owner and access list of", read);
    if (!security.List())
        return {ExitCode::Unchanged, KeyName() + L" has no access list, so no grant to take out"};
    std::optional<Sid> interactive;
    if (const std::optional<CommandResult> failed = InteractiveUsers(interactive))
        return *failed;
    AccessList list = *security.List();
    if (!list.RemoveExplicitAllow(*interactive, rights))
        return {ExitCode::Unchanged, KeyName() + L" holds no such grant any more"};
    const LONG error = security.WriteList(list);
    if (error != ERROR_SUCCESS)
        return WriteFailure(L"Cannot change the access list of", error);
    return {ExitCode::Done, L"Took the interactive users' grant out of " + KeyName()};
}

CommandResult ThresholdKeyAccess::MakeAdministratorsOwner(const TrustedAccounts& trusted) const {
    KeySecurity security(HKEY_LOCAL_MACHINE, kKey.text, m_view);
    if (const std::optional<CommandResult> failed = ReadWithList(security))
        return *failed;
    const std::wstring name = security.Owner().AccountName();
    if (trusted.Contains(security.Owner()))
        return {ExitCode::Unchanged, KeyName() + L" is owned by " + name};
    const std::optional<Sid> administrators = Sid::WellKnown(WinBuiltinAdministratorsSid);
    if (!administrators)
        return Failure(L"Cannot name the Administrators for", static_cast<LONG>(::GetLastError()));
    const LONG error = security.WriteOwner(*administrators);
    if (error != ERROR_SUCCESS)
        return WriteFailure(L"Cannot take the ownership from " + name + L" of", error);
    return {ExitCode::Done, L"Made BUILTIN\\Administrators the owner of " + KeyName() + L" in place of " +
                                name + L", who could change its access list"};
}

CommandResult ThresholdKeyAccess::TakeOutOthersChanges(const TrustedAccounts& trusted) const {
    KeySecurity security(HKEY_LOCAL_MACHINE, kKey.text, m_view);
    if (const std::optional<CommandResult> failed = ReadWithList(security))
        return *failed;
    AccessList list = *security.List();
    std::wstring taken;
    for (size_t i = list.Size(); i-- > 0;) {
        const ACE_HEADER& entry = list.Entry(i);
        if (IsObjectAllow(entry))
            return Failure(L"An allow entry of a kind the installer does not read is in the access list of",
                           ERROR_INVALID_ACL);
        const std::optional<AccessList::Allowance> allow = list.AllowanceOf(i);
        // Entries for sub-keys only do not reach the key itself.
        if (!allow || (entry.AceFlags & INHERIT_ONLY_ACE))
            continue;
        const std::wstring changes = ChangesInWords(allow->rights);
        if (changes.empty() || trusted.Contains(allow->account))
            continue;
        const std::wstring who = allow->account.AccountName() + L" may " + changes;
        if (entry.AceFlags & INHERITED_ACE)
            return {ExitCode::Failed, KeyName() + L": " + who +
                                          L", through an entry its parent key passes on: "
                                          L"let only the administrators change that key"};
        taken = who + (taken.empty() ? L"" : L"; " + taken);
        list.Remove(i);
    }
    if (taken.empty())
        return {ExitCode::Unchanged, L"No account but the trusted ones may change the list or owner of " +
                                         KeyName() + L", or delete it"};
    const LONG error = security.WriteList(list);
    if (error != ERROR_SUCCESS)
        return WriteFailure(L"Cannot change the access list of", error);
    return {ExitCode::Done, L"Took out of " + KeyName() + L" what let others change it: " + taken};
}
