#include "tests/deploy/KeyAccessList.h"

#include <sddl.h>

#include <vector>

namespace {

constexpr SECURITY_INFORMATION kBoth = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

std::string TextOf(PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION what) {
    mirov::UniqueLocal<char*> text;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, what, text.Put(),
                                                                nullptr))
        return std::string();
    return text.Get();
}

std::string Read(HKEY key, SECURITY_INFORMATION what) {
    DWORD size = 0;
    ::RegGetKeySecurity(key, what, nullptr, &size);
    std::vector<BYTE> descriptor(size ? size : 1);
    if (::RegGetKeySecurity(key, what, descriptor.data(), &size) != ERROR_SUCCESS)
        return std::string();
    return TextOf(descriptor.data(), what);
}

} // namespace

KeyAccessList::KeyAccessList(const char* path, REGSAM view) {
    ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, READ_CONTROL | WRITE_DAC | WRITE_OWNER | view, m_key.Put());
    m_original = Read(m_key.Get(), kBoth);
}

KeyAccessList::~KeyAccessList() {
    Set(m_original);
}

std::string KeyAccessList::Get() const {
    return Read(m_key.Get(), DACL_SECURITY_INFORMATION);
}

std::string KeyAccessList::Owner() const {
    return Read(m_key.Get(), OWNER_SECURITY_INFORMATION);
}

bool KeyAccessList::Set(const std::string& text) const {
    // Wine gives a key whose list alone is set the token's default owner (the account's primary group),
    // where Windows keeps the owner: so the owner is set along, as it was, or nothing is set.
    const std::string full = text.find("O:") == std::string::npos ? Owner() + text : text;
    if (full.find("O:") == std::string::npos)
        return false;
    mirov::UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(full.c_str(), SDDL_REVISION_1,
                                                                descriptor.Put(), nullptr))
        return false;
    const SECURITY_INFORMATION what =
        OWNER_SECURITY_INFORMATION | (full.find("D:") != std::string::npos ? DACL_SECURITY_INFORMATION : 0);
    return ::RegSetKeySecurity(m_key.Get(), what, descriptor.Get()) == ERROR_SUCCESS;
}

bool KeyAccessList::SetNoList() const {
    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE) ||
        ::RegSetKeySecurity(m_key.Get(), DACL_SECURITY_INFORMATION, &descriptor) != ERROR_SUCCESS)
        return false;
    // Read back as a descriptor: Wine writes a missing list and an empty one alike as "D:".
    DWORD size = 0;
    ::RegGetKeySecurity(m_key.Get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    std::vector<BYTE> read(size ? size : 1);
    BOOL present = FALSE, defaulted = FALSE;
    PACL list = nullptr;
    return ::RegGetKeySecurity(m_key.Get(), DACL_SECURITY_INFORMATION, read.data(), &size) == ERROR_SUCCESS &&
           ::GetSecurityDescriptorDacl(read.data(), &present, &list, &defaulted) && present && !list;
}

std::string Normalized(const std::string& list) {
    mirov::UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(list.c_str(), SDDL_REVISION_1,
                                                                descriptor.Put(), nullptr))
        return "not a list: " + list;
    return TextOf(descriptor.Get(), DACL_SECURITY_INFORMATION);
}
