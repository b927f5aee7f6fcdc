#pragma once

#include <windows.h>

#include <utility>

namespace mirov {

// One owner of one Win32 resource. Each kind starts from its own "no resource" value, the one its
// creating functions return on failure; a HANDLE kind takes both null and INVALID_HANDLE_VALUE as no
// handle, so that a value from the other family of functions is never closed.
template <class Traits> class Unique {
public:
    using Type = typename Traits::Type;

    Unique() = default;
    explicit Unique(Type value) : m_value(value) {}
    ~Unique() { Reset(); }
    Unique(Unique&& other) noexcept : m_value(other.Release()) {}
    Unique& operator=(Unique&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;

    Type Get() const { return m_value; }
    bool IsValid() const { return Traits::IsValid(m_value); }
    explicit operator bool() const { return IsValid(); }

    Type Release() { return std::exchange(m_value, Traits::Invalid()); }
    // Keeps the caller's last error: a reset often runs between a failed call and its GetLastError.
    void Reset(Type value = Traits::Invalid()) {
        if (IsValid()) {
            const DWORD error = ::GetLastError();
            Traits::Close(m_value);
            ::SetLastError(error);
        }
        m_value = value;
    }
    // For out-parameters of Win32 functions; releases what was held.
    Type* Put() {
        Reset();
        return &m_value;
    }

private:
    Type m_value = Traits::Invalid();
};

// Neither null nor INVALID_HANDLE_VALUE is a handle to close.
struct AnyHandleValidity {
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
};

// Kinds whose only "no resource" value is their default.
template <class T> struct DefaultValidity {
    static bool IsValid(T value) { return value != T(); }
};

struct HandleTraits : AnyHandleValidity {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct FileHandleTraits : AnyHandleValidity {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct FindHandleTraits : AnyHandleValidity {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};

struct HkeyTraits : DefaultValidity<HKEY> {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::RegCloseKey(h); }
};

struct MappingViewTraits : DefaultValidity<void*> {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    static void Close(Type p) { ::UnmapViewOfFile(p); }
};

struct WindowTraits : DefaultValidity<HWND> {
    using Type = HWND;
    static Type Invalid() { return nullptr; }
    static void Close(Type w) { ::DestroyWindow(w); } // on the thread that created the window
};

struct ModuleTraits : DefaultValidity<HMODULE> {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type m) { ::FreeLibrary(m); }
};

using UniqueHandle = Unique<HandleTraits>;         // events, mutexes, threads, processes, mappings
using UniqueFileHandle = Unique<FileHandleTraits>; // CreateFile, pipes
using UniqueFindHandle = Unique<FindHandleTraits>;
using UniqueHkey = Unique<HkeyTraits>;
using UniqueMappingView = Unique<MappingViewTraits>;
using UniqueWindow = Unique<WindowTraits>;
using UniqueModule = Unique<ModuleTraits>; // LoadLibrary

// Memory that a Win32 function allocated for its caller with LocalAlloc, of the pointer type it hands
// out (a security descriptor, a SID, a text, an argument vector).
template <class T> struct LocalMemoryTraits : DefaultValidity<T> {
    using Type = T;
    static Type Invalid() { return nullptr; }
    static void Close(Type p) { ::LocalFree(p); }
};

template <class T> using UniqueLocal = Unique<LocalMemoryTraits<T>>;

} // namespace mirov
