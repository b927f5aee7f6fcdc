#pragma once

#include "installer/Sid.h"

#include <optional>
#include <vector>

// The accounts that may change what runs at every logon, and own the program's key: SYSTEM, the
// Administrators, TrustedInstaller and the installing account (under Wine the owner of every file; on
// Windows an administrator). One the system cannot name is left out.
class TrustedAccounts {
public:
    explicit TrustedAccounts(std::optional<Sid> installer);

    bool Contains(const Sid& sid) const;

private:
    std::vector<Sid> m_sids;
};
