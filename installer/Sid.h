#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

// A security identifier, held as a copy of its own: never empty and always a valid SID, so that what
// it hands the security calls is one. Made only through the functions that check it; unchanged once
// made, so copies share its bytes.
class Sid {
public:
    // Each is nothing when the system cannot make the SID.
    static std::optional<Sid> WellKnown(WELL_KNOWN_SID_TYPE type); // SYSTEM, Administrators, ...
    static std::optional<Sid> FromText(const wchar_t* text);       // S-1-5-...
    static std::optional<Sid> OfProcessAccount();                  // the running process's token's account
    // A copy of a SID the system handed out; nothing for null or an invalid SID.
    static std::optional<Sid> Copy(PSID sid);
    // A copy of the SID at the start of these bytes; nothing when it does not fit in them or is invalid.
    static std::optional<Sid> Copy(const BYTE* bytes, size_t size);

    // Valid while this lives; the calls it is passed to only read it.
    PSID Get() const { return m_bytes.get(); }
    DWORD Size() const;
    bool operator==(const Sid& other) const;
    bool operator!=(const Sid& other) const { return !(*this == other); }

    // DOMAIN\Name of its account, or its S-1-... form when it has no name here.
    std::wstring AccountName() const;

private:
    explicit Sid(std::shared_ptr<BYTE[]> bytes);

    std::shared_ptr<BYTE[]> m_bytes;
};
