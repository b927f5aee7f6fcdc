#include "installer/TrustedAccounts.h"

#include <utility>

namespace {

constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

} // namespace

TrustedAccounts::TrustedAccounts(SidBytes installer)
    : m_sids{WellKnownSid(WinLocalSystemSid), WellKnownSid(WinBuiltinAdministratorsSid),
             SidFromText(kTrustedInstaller), std::move(installer)} {}

bool TrustedAccounts::Contains(PSID sid) const {
    for (const SidBytes& trusted : m_sids) {
        if (!trusted.empty() && ::EqualSid(const_cast<BYTE*>(trusted.data()), sid))
            return true;
    }
    return false;
}
