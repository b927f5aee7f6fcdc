#pragma once

#include <windows.h>

#include <utility>

namespace mirov {

// One owner of one Win32 resource. Each kind names its own "no resource" value, since a null
// handle and INVALID_HANDLE_VALUE mean different things to different Win32 functions.
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
    bool IsValid() const { return m_value != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    Type Release() { return std::exchange(m_value, Traits::Invalid()); }
    void Reset(Type value = Traits::Invalid()) {
        if (IsValid())
            Traits::Close(m_value);
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

struct HandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};

struct HkeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::RegCloseKey(h); }
};

struct MappingViewTraits {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    static void Close(Type p) { ::UnmapViewOfFile(p); }
};

struct WindowTraits {
    using Type = HWND;
    static Type Invalid() { return nullptr; }
    static void Close(Type w) { ::DestroyWindow(w); } // on the thread that created the window
};

using UniqueHandle = Unique<HandleTraits>;         // events, mutexes, threads, processes, mappings
using UniqueFileHandle = Unique<FileHandleTraits>; // CreateFile, pipes
using UniqueFindHandle = Unique<FindHandleTraits>;
using UniqueHkey = Unique<HkeyTraits>;
using UniqueMappingView = Unique<MappingViewTraits>;
using UniqueWindow = Unique<WindowTraits>;

} // namespace mirov
