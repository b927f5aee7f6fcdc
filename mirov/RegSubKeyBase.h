#pragma once

#include <windows.h>

#include <memory>

namespace mirov {

// Enumeration support for the sub-keys of one key. The key handle is borrowed from the accessor
// that created this object and is never closed here.
class RegSubKeyBase {
public:
    explicit RegSubKeyBase(HKEY key);
    ~RegSubKeyBase() = default;
    RegSubKeyBase(const RegSubKeyBase&) = delete;
    RegSubKeyBase& operator=(const RegSubKeyBase&) = delete;

    DWORD NameBufferSize() const { return m_nameBufferSize; }
    bool HasNameBuffer() const { return m_pNameBuffer != nullptr; }

private:
    HKEY m_hKey;
    std::unique_ptr<char[]> m_pNameBuffer;
    DWORD m_nameBufferSize = 0;
};

} // namespace mirov
