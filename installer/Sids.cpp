#include "installer/Sids.h"

#include "mirov/Handles.h"

#include <sddl.h>

SidBytes WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    SidBytes sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size))
        return SidBytes();
    sid.resize(size);
    return sid;
}

SidBytes SidFromText(const wchar_t* text) {
    mirov::UniqueLocal<PSID> converted;
    if (!::ConvertStringSidToSidW(text, converted.Put()))
        return SidBytes();
    const BYTE* bytes = static_cast<const BYTE*>(converted.Get());
    return SidBytes(bytes, bytes + ::GetLengthSid(converted.Get()));
}

SidBytes ProcessAccountSid() {
    mirov::UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put()))
        return SidBytes();
    std::vector<BYTE> user(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE);
    DWORD size = 0;
    if (!::GetTokenInformation(token.Get(), TokenUser, user.data(), static_cast<DWORD>(user.size()), &size))
        return SidBytes();
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return SidBytes(bytes, bytes + ::GetLengthSid(sid));
}

std::wstring AccountName(PSID sid) {
    wchar_t name[256] = {};
    wchar_t domain[256] = {};
    DWORD nameSize = ARRAYSIZE(name);
    DWORD domainSize = ARRAYSIZE(domain);
    SID_NAME_USE use = SidTypeUnknown;
    if (::LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return domain[0] ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    mirov::UniqueLocal<wchar_t*> text;
    if (!::ConvertSidToStringSidW(sid, text.Put()))
        return L"an unknown account";
    return text.Get();
}
