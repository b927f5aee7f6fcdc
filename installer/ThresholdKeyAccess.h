#pragma once

#include "installer/CommandResult.h"
#include "installer/KeySecurity.h"
#include "installer/TrustedAccounts.h"
#include "mirov/Contract.h"

#include <windows.h>

#include <optional>
#include <string>

// The program's key HKLM\<contract::kThresholdKey> in one registry view: made where missing, and its
// security: the interactive users' grant on its access list, read and written whole through the
// security API; its owner, who may always change that list; and the entries that would let others
// change either, or delete the key. A key without any list (anyone may change it) is refused, never
// given one here: which list the vendor's key should have is the administrators' choice.
// Each ends Done when it changed the key, Unchanged when there was nothing to change, and Failed
// (with nothing changed, or what was said) otherwise.
class ThresholdKeyAccess {
public:
    // What the program asks for on the key: reading values, and setting and deleting them.
    static constexpr ACCESS_MASK kGrantedRights = contract::kThresholdKeyRights;

    explicit ThresholdKeyAccess(REGSAM view); // KEY_WOW64_64KEY or KEY_WOW64_32KEY

    // Creates the key (with parent, the vendor's key above it alone) where it is missing: Done when
    // it made it, Unchanged when it was there.
    CommandResult Create(bool parent) const;
    // Adds the grant; with replaceFullAccess, also takes out a full-access entry of the interactive
    // users that an earlier installer added. Done only when the grant itself was added.
    CommandResult Grant(bool replaceFullAccess) const;
    // Takes out one plain allow entry of the interactive users with these rights.
    CommandResult Revoke(ACCESS_MASK rights) const;
    // Where the key's owner is not trusted, makes the Administrators its owner (not undone later: the
    // earlier owner could change the list again). Unchanged when its owner is trusted.
    CommandResult MakeAdministratorsOwner(const TrustedAccounts& trusted) const;
    // Takes out every allow entry of the key's own that lets an account not trusted change its list or
    // owner, or delete it (not undone later either). Such an entry that the parent key passes on is
    // refused with nothing changed: it would come back from there.
    CommandResult TakeOutOthersChanges(const TrustedAccounts& trusted) const;

private:
    // The key's security, read; the failure when it cannot be read or has no list.
    std::optional<CommandResult> ReadWithList(KeySecurity& security) const;
    // The interactive users' SID; the failure when the system cannot make it.
    std::optional<CommandResult> InteractiveUsers(std::optional<Sid>& sid) const;
    CommandResult Failure(const std::wstring& what, LONG error) const;
    CommandResult WriteFailure(const std::wstring& what, LONG error) const;
    std::wstring NameOf(const std::wstring& path) const; // with the view
    std::wstring KeyName() const;

    REGSAM m_view;
};
