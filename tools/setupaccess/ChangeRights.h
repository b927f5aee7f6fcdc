#pragma once

#include "tools/setupaccess/Sids.h"

#include <windows.h>

#include <string>
#include <vector>

// Who may change a folder or a file, read from its security descriptor. Only SYSTEM, the
// Administrators, TrustedInstaller and the installing account may write, add or delete files, or
// change the access list or the owner of what runs at every logon; anyone else who may is named.
// Deny entries are not credited: an allow entry that gives another account such a right is enough.
class ChangeRights {
public:
    enum class Kind {
        Folder, // its own entries and those that files made in it inherit
        File,
    };

    // The installing account counts as an administrator.
    explicit ChangeRights(SidBytes installer);

    // "" when only the trusted accounts may change the object; else who else may and how.
    std::wstring WhyUnsafe(PSECURITY_DESCRIPTOR descriptor, Kind kind) const;

private:
    bool IsTrusted(PSID sid) const;
    std::wstring WhyUnsafeEntry(const ACE_HEADER* entry, Kind kind) const;

    std::vector<SidBytes> m_trusted;
};
