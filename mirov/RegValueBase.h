#pragma once

#include <windows.h>

#include <memory>

namespace mirov {
namespace detail {

// A name buffer sized by one key-information query: the longest name plus its terminator, or no
// buffer at all (size 0) when the query failed.
struct NameBuffer {
    std::unique_ptr<char[]> buffer;
    DWORD size = 0;
};
NameBuffer MakeNameBuffer(LSTATUS queryStatus, DWORD longestName);

// Enumeration support for the values of one key. The key handle is borrowed from the accessor
// that created this object and is never closed here.
class RegValueBase {
public:
    explicit RegValueBase(HKEY key);
    ~RegValueBase() = default;
    RegValueBase(const RegValueBase&) = delete;
    RegValueBase& operator=(const RegValueBase&) = delete;

    DWORD NameBufferSize() const { return m_nameBufferSize; }
    bool HasNameBuffer() const { return m_pNameBuffer != nullptr; }

private:
    HKEY m_hKey;
    std::unique_ptr<char[]> m_pNameBuffer;
    DWORD m_nameBufferSize = 0;
};

} // namespace detail
} // namespace mirov
