#include "installer/EnabledPrivilege.h"

#include "mirov/Handles.h"

namespace {

// Sets the privilege's state; what it was before lands in *before. False when the token does not
// hold it (AdjustTokenPrivileges succeeds then, with ERROR_NOT_ALL_ASSIGNED).
bool Adjust(const TOKEN_PRIVILEGES& state, TOKEN_PRIVILEGES* before) {
    mirov::UniqueHandle token;
    DWORD size = sizeof *before;
    return ::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Put()) &&
           ::AdjustTokenPrivileges(token.Get(), FALSE, const_cast<TOKEN_PRIVILEGES*>(&state), size, before,
                                   &size) &&
           ::GetLastError() == ERROR_SUCCESS;
}

} // namespace

EnabledPrivilege::EnabledPrivilege(const wchar_t* name) {
    TOKEN_PRIVILEGES state = {};
    state.PrivilegeCount = 1;
    state.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    m_enabled = ::LookupPrivilegeValueW(nullptr, name, &state.Privileges[0].Luid) && Adjust(state, &m_before);
}

EnabledPrivilege::~EnabledPrivilege() {
    // Only a privilege that changed is reported in the state before; one already on stays on.
    if (m_enabled && m_before.PrivilegeCount > 0) {
        TOKEN_PRIVILEGES ignored = {};
        Adjust(m_before, &ignored);
    }
}
