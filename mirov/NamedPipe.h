#pragma once

#include "mirov/DebugTrace.h"
#include "mirov/Handles.h"

#include <windows.h>

#include <iterator>
#include <string>

namespace mirov {
namespace detail {

// The platform's one-shot pipe transaction for each character type.
inline BOOL CallNamedPipeT(const char* path, void* request, DWORD requestSize, void* reply,
                           DWORD replyCapacity, DWORD* bytesRead, DWORD timeout) {
    return ::CallNamedPipeA(path, request, requestSize, reply, replyCapacity, bytesRead, timeout);
}

inline BOOL CallNamedPipeT(const wchar_t* path, void* request, DWORD requestSize, void* reply,
                           DWORD replyCapacity, DWORD* bytesRead, DWORD timeout) {
    return ::CallNamedPipeW(path, request, requestSize, reply, replyCapacity, bytesRead, timeout);
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
        // The platform only reads the request, though its signature does not say so.
        if (detail::CallNamedPipeT(path.c_str(), const_cast<void*>(request), requestSize, reply,
                                   replyCapacity, bytesRead, timeout))
            return true;
        const DWORD error = ::GetLastError();
        DebugTrace("[BasicNamedPipe<char_t>::Call] failed, GetLastError returned %d",
                   static_cast<int>(error));
        return false;
    }

private:
    UniqueFileHandle m_hPipe; // INVALID_HANDLE_VALUE: no pipe held
};

using NamedPipeA = BasicNamedPipe<char>;

} // namespace mirov
