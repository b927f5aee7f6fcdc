#include "mirov/RegValueBase.h"

namespace mirov {
namespace detail {

NameBuffer MakeNameBuffer(LSTATUS queryStatus, DWORD longestName) {
    NameBuffer name;
    if (queryStatus != ERROR_SUCCESS)
        return name;
    name.size = longestName + 1; // room for the terminating NUL
    name.buffer.reset(new char[name.size]);
    return name;
}

RegValueBase::RegValueBase(HKEY key) : m_hKey(key) {
    DWORD count = 0;
    DWORD longest = 0;
    const LSTATUS status = ::RegQueryInfoKeyA(m_hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              &count, &longest, nullptr, nullptr, nullptr);
    NameBuffer name = MakeNameBuffer(status, longest);
    m_pNameBuffer = std::move(name.buffer);
    m_nameBufferSize = name.size;
}

} // namespace detail
} // namespace mirov
