#pragma once

#include <windows.h>

// Puts a replacement in place of one function that this executable imports, for the life of the
// object: every call the program's code makes through its import table then reaches the
// replacement. The replacement may be called on any thread while the hook is in place.
class ImportHook {
public:
    template <class Fn>
    ImportHook(const char* dll, const char* function, Fn replacement)
        : ImportHook(dll, function, reinterpret_cast<ULONG_PTR>(replacement)) {}
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;

    bool IsActive() const { return m_slot != nullptr; }
    template <class Fn> Fn Original() const { return reinterpret_cast<Fn>(m_original); }

private:
    ImportHook(const char* dll, const char* function, ULONG_PTR replacement);

    ULONG_PTR* m_slot = nullptr;
    ULONG_PTR m_original = 0;
};
