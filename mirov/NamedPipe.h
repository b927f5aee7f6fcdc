#pragma once

#include "mirov/DebugTrace.h"
#include "mirov/Handles.h"

#include <windows.h>

#include <iterator>
#include <string>

namespace mirov {
namespace detail {

// The platform's open of a pipe and its wait for a free instance, for each character type.
inline HANDLE CreateFileT(const char* path, DWORD access, DWORD flags) {
    return ::CreateFileA(path, access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
}

inline HANDLE CreateFileT(const wchar_t* path, DWORD access, DWORD flags) {
    return ::CreateFileW(path, access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
}

inline BOOL WaitNamedPipeT(const char* path, DWORD timeout) {
    return ::WaitNamedPipeA(path, timeout);
}

inline BOOL WaitNamedPipeT(const wchar_t* path, DWORD timeout) {
    return ::WaitNamedPipeW(path, timeout);
}

} // namespace detail

// One named pipe, and the one-shot request/reply transaction on a named pipe of a server.
template <class char_t> class BasicNamedPipe {
public:
    using Text = std::basic_string<char_t>;

    BasicNamedPipe() = default;
    ~BasicNamedPipe() { Close(); }
    BasicNamedPipe(const BasicNamedPipe&) = delete;
    BasicNamedPipe& operator=(const BasicNamedPipe&) = delete;

    bool IsOpen() const { return m_hPipe.IsValid(); }

    // True when nothing was open or the handle closed; a failure is traced.
    bool Close() {
        if (!IsOpen())
            return true;
        if (::CloseHandle(m_hPipe.Release()))
            return true;
        const DWORD error = ::GetLastError();
        DebugTrace("[BasicNamedPipe::Close] failed! GetLastError returned %d", static_cast<int>(error));
        return false;
    }

    // "\\<server>\PIPE\<pipe>", both names as given.
    static Text BuildPipePath(const char_t* server, const char_t* pipe) {
        static const char kPipeFolder[] = "\\PIPE\\";
        Text path(2, static_cast<char_t>('\\'));
        path += server;
        path.append(std::begin(kPipeFolder), std::end(kPipeFolder) - 1);
        path += pipe;
        return path;
    }

    // Connects (waiting up to `timeout` ms for a free instance), sends the request, reads the
    // reply and disconnects. After a failure the buffers hold what the platform left there.
    static bool Call(const char_t* server, const char_t* pipe, const void* request, DWORD requestSize,
                     void* reply, DWORD replyCapacity, DWORD* bytesRead, DWORD timeout) {
        const Text path = BuildPipePath(server, pipe);
        const UniqueFileHandle connection = Connect(path, timeout);
        DWORD mode = PIPE_READMODE_MESSAGE;
        // The platform only reads the request, though its signature does not say so.
        if (connection && ::SetNamedPipeHandleState(connection.Get(), &mode, nullptr, nullptr) &&
            ::TransactNamedPipe(connection.Get(), const_cast<void*>(request), requestSize, reply,
                                replyCapacity, bytesRead, nullptr))
            return true;
        const DWORD error = ::GetLastError();
        DebugTrace("[BasicNamedPipe<char_t>::Call] failed, GetLastError returned %d",
                   static_cast<int>(error));
        return false;
    }

private:
    // For identification only: whoever serves a pipe of that name may learn who calls, but may
    // never act as the caller.
    static constexpr DWORD kClientSecurity = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

    // Opens the pipe, waiting for a free instance while all are busy: once for a limited wait,
    // for as long as it takes with NMPWAIT_WAIT_FOREVER. A pipe that does not exist fails at once.
    static UniqueFileHandle Connect(const Text& path, DWORD timeout) {
        for (bool waited = false;; waited = true) {
            UniqueFileHandle connection(
                detail::CreateFileT(path.c_str(), GENERIC_READ | GENERIC_WRITE, kClientSecurity));
            if (connection || ::GetLastError() != ERROR_PIPE_BUSY ||
                (waited && timeout != NMPWAIT_WAIT_FOREVER))
                return connection;
            if (!detail::WaitNamedPipeT(path.c_str(), timeout))
                return connection;
        }
    }

    UniqueFileHandle m_hPipe; // INVALID_HANDLE_VALUE: no pipe held
};

using NamedPipeA = BasicNamedPipe<char>;

} // namespace mirov
