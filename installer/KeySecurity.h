#pragma once

#include "installer/AccessList.h"
#include "installer/Sid.h"

#include <windows.h>

#include <optional>
#include <string>

// The owner, the access list and that list's protection of one registry key, read whole and changed
// one part at a time. Each change is read back, and whatever the system changed beside it is written
// back: under Wine, writing the owner alone drops the list's protection, which Windows keeps; the
// code relies on neither.
class KeySecurity {
public:
    KeySecurity(HKEY root, std::wstring path, REGSAM view); // view: KEY_WOW64_64KEY or KEY_WOW64_32KEY

    // The error when the key or its security cannot be read (ERROR_FILE_NOT_FOUND: no such key).
    LONG Read();

    // After a Read that succeeded.
    const Sid& Owner() const { return m_state->owner; }
    // Null when the key has no list at all (then anyone may change it), or has not been read.
    const AccessList* List() const { return m_state && m_state->list ? &*m_state->list : nullptr; }

    // Each writes its part, keeps the rest as read, and reads the whole back: ERROR_SUCCESS when it
    // is as meant, ERROR_INVALID_SECURITY_DESCR when it is not and cannot be made so, or the error of
    // the call that failed. A key without a list, or not read, is never written.
    LONG WriteOwner(const Sid& owner);
    LONG WriteList(const AccessList& list);

private:
    struct State {
        Sid owner;
        std::optional<AccessList> list;
        bool isProtected; // entries the parent key passes on do not reach it
        bool autoInherited;
        bool operator==(const State& other) const;
    };

    // The key's security as it is now; nothing, with the error, when it cannot be read.
    std::optional<State> ReadState(LONG& error) const;
    static std::optional<State> StateIn(PSECURITY_DESCRIPTOR descriptor, LONG& error);
    LONG Write(const State& meant, SECURITY_INFORMATION what) const;
    LONG WriteAndCheck(const State& meant, SECURITY_INFORMATION what);

    HKEY m_root;
    std::wstring m_path;
    REGSAM m_view;
    std::optional<State> m_state;
};
