#pragma once

#include "installer/Sids.h"

#include <windows.h>

#include <vector>

// The accounts that may change what runs at every logon, and own the program's key: SYSTEM, the
// Administrators, TrustedInstaller and the installing account (under Wine the owner of every file; on
// Windows an administrator).
class TrustedAccounts {
public:
    explicit TrustedAccounts(SidBytes installer);

    bool Contains(PSID sid) const;

private:
    std::vector<SidBytes> m_sids;
};
