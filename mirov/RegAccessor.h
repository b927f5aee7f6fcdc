#pragma once

#include "mirov/Handles.h"

#include <windows.h>

#include <cstdint>
#include <memory>

namespace mirov {

class RegSubKeyBase;
namespace detail {
class RegValueBase;
}

// One open registry key, closed when the accessor goes out of scope. Every failure is a false
// result; nothing is shown, traced or kept.
class RegAccessor {
public:
    RegAccessor();
    ~RegAccessor();
    RegAccessor(const RegAccessor&) = delete;
    RegAccessor& operator=(const RegAccessor&) = delete;

    // Opens (or with `create`, creates) root\path, asking for `rights` alone; the enumeration objects
    // need KEY_QUERY_VALUE among them. The accessor must be closed.
    bool Open(HKEY root, const char* path, bool create, REGSAM rights);
    // Works on a key the caller keeps owning: Close leaves it open. The accessor must be closed.
    bool Attach(HKEY key);
    void Close();
    bool IsOpen() const;

    // On a closed accessor these answer false without touching any handle.
    bool ReadDword(const char* name, uint32_t& value);
    bool WriteDword(const char* name, uint32_t value);
    bool DeleteValue(const char* name);

    // The key worked on; meaningful only while the accessor is open.
    HKEY Handle() const { return m_hKey; }
    const RegSubKeyBase* SubKeys() const { return m_pSubKeys.get(); }
    const detail::RegValueBase* Values() const { return m_pValues.get(); }

private:
    HKEY m_hKey = nullptr; // the key worked on, opened here or only attached
    UniqueHkey m_ownedKey; // the same key when Open obtained it, so that Close releases it
    std::unique_ptr<RegSubKeyBase> m_pSubKeys;
    std::unique_ptr<detail::RegValueBase> m_pValues;
};

} // namespace mirov
