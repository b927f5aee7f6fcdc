#include "mirov/RegNameBase.h"

namespace mirov {
namespace detail {

RegNameBase::RegNameBase(HKEY key, Names names) : m_hKey(key) {
    // Two numbers of the one kind and nothing else; the count is not kept.
    DWORD count = 0;
    DWORD longest = 0;
    const bool subKeys = names == Names::SubKeys;
    const LSTATUS status = ::RegQueryInfoKeyA(
        m_hKey, nullptr, nullptr, nullptr, subKeys ? &count : nullptr, subKeys ? &longest : nullptr, nullptr,
        subKeys ? nullptr : &count, subKeys ? nullptr : &longest, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        return;
    m_nameBufferSize = longest + 1; // room for the terminating NUL
    m_pNameBuffer.reset(new char[m_nameBufferSize]);
}

} // namespace detail
} // namespace mirov
