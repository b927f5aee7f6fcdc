#include "mirov/RegAccessor.h"

#include "mirov/Check.h"
#include "mirov/RegSubKeyBase.h"
#include "mirov/RegValueBase.h"

namespace mirov {
namespace {

LSTATUS OpenOrCreate(HKEY root, const char* path, bool create, REGSAM rights, HKEY* key) {
    // The caller's rights and nothing else, no registry view.
    if (!create)
        return ::RegOpenKeyExA(root, path, 0, rights, key);
    DWORD disposition = 0;
    return ::RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, rights, nullptr, key,
                             &disposition);
}

} // namespace

RegAccessor::RegAccessor() = default;

RegAccessor::~RegAccessor() {
    Close();
}

bool RegAccessor::Open(HKEY root, const char* path, bool create, REGSAM rights) {
    MIROV_CHECK(!IsOpen());
    UniqueHkey key;
    if (OpenOrCreate(root, path, create, rights, key.Put()) != ERROR_SUCCESS)
        return false;
    const bool attached = Attach(key.Get());
    m_ownedKey = std::move(key);
    return attached;
}

bool RegAccessor::Attach(HKEY key) {
    MIROV_CHECK(!IsOpen());
    m_hKey = key;
    m_pValues = std::make_unique<detail::RegValueBase>(m_hKey);
    m_pSubKeys = std::make_unique<RegSubKeyBase>(m_hKey);
    return true;
}

void RegAccessor::Close() {
    m_ownedKey.Reset(); // an attached key stays open
    m_pValues.reset();
    m_pSubKeys.reset();
}

bool RegAccessor::IsOpen() const {
    return m_pSubKeys != nullptr;
}

bool RegAccessor::ReadDword(const char* name, uint32_t& value) {
    if (!IsOpen())
        return false;
    // Read aside, so that a failed read leaves the caller's value as it was. A REG_DWORD of any other
    // size is malformed: its bytes are no 32-bit value.
    uint32_t data = 0;
    DWORD type = REG_NONE;
    DWORD size = sizeof data;
    const LSTATUS status =
        ::RegQueryValueExA(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data)
        return false;
    value = data;
    return true;
}

bool RegAccessor::WriteDword(const char* name, uint32_t value) {
    if (!IsOpen())
        return false;
    // Windows is little-endian on every target, so the value's own bytes are REG_DWORD's layout.
    return ::RegSetValueExA(m_hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value) == ERROR_SUCCESS;
}

bool RegAccessor::DeleteValue(const char* name) {
    if (!IsOpen())
        return false;
    return ::RegDeleteValueA(m_hKey, name) == ERROR_SUCCESS;
}

} // namespace mirov
