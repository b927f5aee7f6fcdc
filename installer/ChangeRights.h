#pragma once

#include "installer/AccessList.h"
#include "installer/TrustedAccounts.h"

#include <windows.h>

#include <optional>
#include <string>

// Who may change a folder or a file, read from its security descriptor. Only the trusted accounts may
// write, add or delete files, or change the access list or the owner of what runs at every logon, or
// move a folder above it away; anyone else who may is named. Deny entries are not credited: an allow
// entry that gives another account such a right is enough.
class ChangeRights {
public:
    enum class Kind {
        Folder, // the install folder: its own entries and those that files made in it inherit
        Parent, // a folder above it: who may delete or rename it or what is in it, or change its list
        File,
    };

    explicit ChangeRights(TrustedAccounts trusted);

    // "" when only the trusted accounts may change the object; else who else may and how.
    std::wstring WhyUnsafe(PSECURITY_DESCRIPTOR descriptor, Kind kind) const;
    // The same for a list alone, of an object the installer will own (a folder it makes).
    std::wstring WhyUnsafe(const AccessList& list, Kind kind) const;

private:
    bool IsTrusted(const Sid& sid) const;
    std::wstring WhyUnsafeEntry(const AccessList& list, size_t index, Kind kind) const;

    TrustedAccounts m_trusted;
    std::optional<Sid> m_creatorOwner;
};
