#include "tests/support/ScratchKey.h"

#include "mirov/Handles.h"
#include "tests/support/TestFolder.h"

#include <vector>

namespace {

bool IsEmptyKey(const std::string& path) {
    mirov::UniqueHkey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return false;
    DWORD subKeys = 1, values = 1;
    return ::RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                              nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subKeys == 0 && values == 0;
}

// Removes the parents of `path` that are left empty, up to but not including "Software".
void RemoveEmptyParents(std::string path) {
    for (size_t cut = path.rfind('\\'); cut != std::string::npos; cut = path.rfind('\\')) {
        path.resize(cut);
        if (path.find('\\') == std::string::npos || !IsEmptyKey(path) ||
            ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str()) != ERROR_SUCCESS)
            return;
    }
}

} // namespace

ScratchKey::ScratchKey(std::string path) : m_path(std::move(path)) {
    Remove();
}

ScratchKey::~ScratchKey() {
    Remove();
    RemoveEmptyParents(m_path);
}

void ScratchKey::Remove() const {
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, m_path.c_str());
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, m_path.c_str());
}

bool ScratchKey::Exists() const {
    mirov::UniqueHkey key;
    return ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

void ScratchKey::SetRaw(const char* name, DWORD type, const std::string& bytes) const {
    ::RegSetKeyValueA(HKEY_LOCAL_MACHINE, m_path.c_str(), name, type, bytes.data(),
                      static_cast<DWORD>(bytes.size()));
}

void ScratchKey::SetDword(const char* name, DWORD value) const {
    SetRaw(name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

void ScratchKey::SetString(const char* name, const std::string& text) const {
    SetRaw(name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

void ScratchKey::CreateSubKey(const char* name) const {
    mirov::UniqueHkey key;
    ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, (m_path + "\\" + name).c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                      key.Put(), nullptr);
}

void ScratchKey::Delete(const char* name) const {
    ::RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, m_path.c_str(), name);
}

bool ScratchKey::Has(const char* name) const {
    return Type(name) != REG_NONE;
}

DWORD ScratchKey::Type(const char* name) const {
    DWORD type = REG_NONE;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, m_path.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr,
                       nullptr) != ERROR_SUCCESS)
        return REG_NONE;
    return type;
}

std::optional<DWORD> ScratchKey::Dword(const char* name) const {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, m_path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
            ERROR_SUCCESS ||
        size != sizeof value)
        return std::nullopt;
    return value;
}

namespace {

// A DACL of two entries for everyone: `denied` refused, everything else allowed.
bool SetEveryoneAcl(HKEY key, DWORD denied) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    if (!::CreateWellKnownSid(WinWorldSid, nullptr, sid, &sidSize))
        return false;
    std::vector<BYTE> acl(sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + sidSize));
    PACL list = reinterpret_cast<PACL>(acl.data());
    SECURITY_DESCRIPTOR descriptor;
    return ::InitializeAcl(list, static_cast<DWORD>(acl.size()), ACL_REVISION) &&
           (denied == 0 || ::AddAccessDeniedAce(list, ACL_REVISION, denied, sid)) &&
           ::AddAccessAllowedAce(list, ACL_REVISION, KEY_ALL_ACCESS, sid) &&
           ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           ::SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE) &&
           ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
}

} // namespace

DenySetValue::DenySetValue(const ScratchKey& key) {
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.Path().c_str(), 0, KEY_ALL_ACCESS, m_key.Put()) ==
        ERROR_SUCCESS)
        m_applied = SetEveryoneAcl(m_key.Get(), KEY_SET_VALUE);
}

DenySetValue::~DenySetValue() {
    if (m_key)
        SetEveryoneAcl(m_key.Get(), 0);
}
