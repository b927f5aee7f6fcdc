#pragma once

#include <windows.h>

// One privilege of the process's token turned on for as long as this lives, and off again after,
// where it was off before. An administrator's token holds the privileges the installer needs, but
// off.
class EnabledPrivilege {
public:
    explicit EnabledPrivilege(const wchar_t* name); // L"SeDebugPrivilege", ...
    ~EnabledPrivilege();
    EnabledPrivilege(const EnabledPrivilege&) = delete;
    EnabledPrivilege& operator=(const EnabledPrivilege&) = delete;

    // False when the token does not hold it.
    bool IsEnabled() const { return m_enabled; }

private:
    TOKEN_PRIVILEGES m_before = {};
    bool m_enabled = false;
};
