#include "installer/TrustedAccounts.h"

#include <algorithm>

namespace {

constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

} // namespace

TrustedAccounts::TrustedAccounts(std::optional<Sid> installer) {
    for (const std::optional<Sid>& sid :
         {Sid::WellKnown(WinLocalSystemSid), Sid::WellKnown(WinBuiltinAdministratorsSid),
          Sid::FromText(kTrustedInstaller), installer}) {
        if (sid)
            m_sids.push_back(*sid);
    }
}

bool TrustedAccounts::Contains(const Sid& sid) const {
    return std::any_of(m_sids.begin(), m_sids.end(), [&](const Sid& trusted) { return trusted == sid; });
}
