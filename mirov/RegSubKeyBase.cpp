#include "mirov/RegSubKeyBase.h"

#include "mirov/RegValueBase.h"

namespace mirov {

RegSubKeyBase::RegSubKeyBase(HKEY key) : m_hKey(key) {
    DWORD count = 0;
    DWORD longest = 0;
    const LSTATUS status = ::RegQueryInfoKeyA(m_hKey, nullptr, nullptr, nullptr, &count, &longest, nullptr,
                                              nullptr, nullptr, nullptr, nullptr, nullptr);
    detail::NameBuffer name = detail::MakeNameBuffer(status, longest);
    m_pNameBuffer = std::move(name.buffer);
    m_nameBufferSize = name.size;
}

} // namespace mirov
