#pragma once

#include <windows.h>

#include <memory>

namespace mirov {
namespace detail {

// What the enumeration objects of one key share: the key, borrowed from the accessor that created
// them and never closed here, and a buffer long enough for the longest name of their kind, or no
// buffer at all (size 0) when the key could not be queried.
class RegNameBase {
public:
    RegNameBase(const RegNameBase&) = delete;
    RegNameBase& operator=(const RegNameBase&) = delete;

    DWORD NameBufferSize() const { return m_nameBufferSize; }
    bool HasNameBuffer() const { return m_pNameBuffer != nullptr; }

protected:
    enum class Names { SubKeys, Values };

    RegNameBase(HKEY key, Names names);
    ~RegNameBase() = default;

private:
    HKEY m_hKey;
    std::unique_ptr<char[]> m_pNameBuffer;
    DWORD m_nameBufferSize = 0;
};

} // namespace detail
} // namespace mirov
