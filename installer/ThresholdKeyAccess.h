#pragma once

#include "installer/KeySecurity.h"
#include "installer/TrustedAccounts.h"

#include <windows.h>

#include <optional>
#include <string>

// The security of the program's key HKLM\Software\Orvane\TORVEX3 in one registry view: the
// interactive users' grant on its access list, read and written whole through the security API; its
// owner, who may always change that list; and the entries that would let others change either, or
// delete the key. A key without any list (anyone may change it) is refused, never given one here:
// which list the vendor's key should have is the administrators' choice.
class ThresholdKeyAccess {
public:
    // What the program asks for on the key: reading values, and setting and deleting them.
    static constexpr ACCESS_MASK kGrantedRights = KEY_QUERY_VALUE | KEY_SET_VALUE;

    enum class Outcome {
        Changed,   // the grant was added, the entry taken out, the owner replaced, others' entries taken out
        Unchanged, // it was there already, there was none to take out, the owner is trusted
        Failed,    // nothing was changed, or what was is said
    };
    struct Result {
        Outcome outcome;
        std::wstring message;
    };

    explicit ThresholdKeyAccess(REGSAM view); // KEY_WOW64_64KEY or KEY_WOW64_32KEY

    // Adds the grant; with replaceFullAccess, also takes out a full-access entry of the interactive
    // users that an earlier installer added. Changed only when the grant itself was added.
    Result Grant(bool replaceFullAccess) const;
    // Takes out one plain allow entry of the interactive users with these rights.
    Result Revoke(ACCESS_MASK rights) const;
    // Where the key's owner is not trusted, makes the Administrators its owner (not undone later: the
    // earlier owner could change the list again). Unchanged when its owner is trusted.
    Result MakeAdministratorsOwner(const TrustedAccounts& trusted) const;
    // Takes out every allow entry of the key's own that lets an account not trusted change its list or
    // owner, or delete it (not undone later either). Such an entry that the parent key passes on is
    // refused with nothing changed: it would come back from there.
    Result TakeOutOthersChanges(const TrustedAccounts& trusted) const;

private:
    // The key's security, read; the failure when it cannot be read or has no list.
    std::optional<Result> ReadWithList(KeySecurity& security) const;
    Result Failure(const std::wstring& what, LONG error) const;
    Result WriteFailure(const std::wstring& what, LONG error) const;
    std::wstring KeyName() const;

    REGSAM m_view;
};
