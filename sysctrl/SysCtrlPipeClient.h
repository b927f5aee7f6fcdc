#pragma once

#include "mirov/Handles.h"

#include <windows.h>

#include <cstdint>
#include <memory>

// 1 while no service request is in progress, 0 while one is. Only ever accessed through
// InterlockedExchange: it is the one lock between a requester and the worker of its request.
extern volatile LONG g_sysCtrlIdle;

// The process's one client of the system-control service. Each request runs on a worker thread of
// its own while the requester waits for it for a bounded time; one request at a time.
class SysCtrlPipeClient {
public:
    static constexpr DWORD kReplyCapacity = 0x1000;
    static constexpr DWORD kWaitMs = 10000;
    static constexpr uint32_t kQueryOcStateRequest = 0x80000001;

    // Created on first use, never freed. Not synchronised: call it from one thread.
    static SysCtrlPipeClient* Instance();

    // True when the service answered with status 1.
    bool CallSysCtrlService(const void* request, DWORD size);
    // Reply bytes after the status word; negative when not even the status word arrived.
    int32_t GetReplyDataSize() const;
    // The reply words after the status word.
    const int32_t* GetReplyData() const;
    // The OC state and the value after it; both are left alone on every failure.
    bool QueryOcState(int32_t& first, int32_t& second);

private:
    friend class SysCtrlPipeClientThread; // stores the call result

    SysCtrlPipeClient();
    // False when no worker runs for the request. `finished` receives the worker's end, and may stay
    // empty even when it runs.
    bool StartWorker(const void* request, DWORD size, mirov::UniqueHandle& finished);
    bool ReplyStatusIsOk() const;

    // Result of the last pipe call, as its worker stored it. Kept though it decides nothing now: a
    // reply too long for the buffer fails the call yet counts, so only the status word decides.
    bool m_callOk = false;
    // Kept as words so that the status and values read without casts; uninitialised, never cleared.
    std::unique_ptr<uint32_t[]> m_pReply;
    DWORD m_bytesRead = 0;
};
