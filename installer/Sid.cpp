#include "installer/Sid.h"

#include "mirov/Handles.h"

#include <sddl.h>

#include <cstring>
#include <utility>
#include <vector>

namespace {

// A SID's revision, count and authority come before its sub-authorities.
constexpr size_t kSidHeaderSize = 8;

} // namespace

Sid::Sid(std::shared_ptr<BYTE[]> bytes) : m_bytes(std::move(bytes)) {}

std::optional<Sid> Sid::WellKnown(WELL_KNOWN_SID_TYPE type) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    if (!::CreateWellKnownSid(type, nullptr, sid, &size))
        return std::nullopt;
    return Copy(sid, size);
}

std::optional<Sid> Sid::FromText(const wchar_t* text) {
    mirov::UniqueLocal<PSID> converted;
    if (!::ConvertStringSidToSidW(text, converted.Put()))
        return std::nullopt;
    return Copy(converted.Get());
}

std::optional<Sid> Sid::OfProcessAccount() {
    mirov::UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put()))
        return std::nullopt;
    std::vector<BYTE> user(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE);
    DWORD size = 0;
    if (!::GetTokenInformation(token.Get(), TokenUser, user.data(), static_cast<DWORD>(user.size()), &size))
        return std::nullopt;
    return Copy(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

std::optional<Sid> Sid::Copy(PSID sid) {
    if (!sid || !::IsValidSid(sid))
        return std::nullopt;
    return Copy(static_cast<const BYTE*>(sid), ::GetLengthSid(sid));
}

std::optional<Sid> Sid::Copy(const BYTE* bytes, size_t size) {
    if (size < kSidHeaderSize)
        return std::nullopt;
    const size_t length = ::GetSidLengthRequired(bytes[1]); // bytes[1]: the count of sub-authorities
    if (length > size)
        return std::nullopt;
    std::shared_ptr<BYTE[]> copy(new BYTE[length]);
    std::memcpy(copy.get(), bytes, length);
    if (!::IsValidSid(copy.get()))
        return std::nullopt;
    return Sid(std::move(copy));
}

DWORD Sid::Size() const {
    return ::GetLengthSid(Get());
}

bool Sid::operator==(const Sid& other) const {
    return ::EqualSid(Get(), other.Get());
}

std::wstring Sid::AccountName() const {
    wchar_t name[256] = {};
    wchar_t domain[256] = {};
    DWORD nameSize = ARRAYSIZE(name);
    DWORD domainSize = ARRAYSIZE(domain);
    SID_NAME_USE use = SidTypeUnknown;
    if (::LookupAccountSidW(nullptr, Get(), name, &nameSize, domain, &domainSize, &use))
        return domain[0] ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    mirov::UniqueLocal<wchar_t*> text;
    if (!::ConvertSidToStringSidW(Get(), text.Put()))
        return L"an unknown account";
    return text.Get();
}
