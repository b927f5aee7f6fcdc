#pragma once

#include "mirov/Handles.h"
#include "tools/setupaccess/TrustedAccounts.h"

#include <windows.h>

#include <string>
#include <vector>

// The access list of the program's key HKLM\Software\Orvane\TORVEX3 in one registry view, read and
// written whole through the security API, for the interactive users' grant; and its owner, who may
// always change that list.
class ThresholdKeyAccess {
public:
    // What the program asks for on the key: reading values, and setting and deleting them.
    static constexpr ACCESS_MASK kGrantedRights = KEY_QUERY_VALUE | KEY_SET_VALUE;

    enum class Outcome {
        Changed,   // the grant was added, the entry taken out, or the owner replaced
        Unchanged, // it was there already (or the key has no list), or there was none to take out
        Failed,
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

private:
    // The key opened to change its list, and the list as read.
    struct OpenList {
        mirov::UniqueHkey key;
        std::vector<BYTE> descriptor;
        PACL acl = nullptr; // null when the key has no list: everyone may use it
        SECURITY_DESCRIPTOR_CONTROL control = 0;
    };

    LONG Open(OpenList& open) const;
    Result Failure(const wchar_t* what, LONG error) const;
    std::wstring KeyName() const;

    REGSAM m_view;
};
