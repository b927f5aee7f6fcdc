#pragma once

#include "mirov/Thread.h"

#include <windows.h>

#include <cstdint>
#include <vector>

class SysCtrlPipeClient;

// Runs one pipe transaction with the system-control service for a SysCtrlPipeClient, then gives
// the idle flag back.
class SysCtrlPipeClientThread final : public mirov::Thread {
public:
    // The request bytes are copied: a requester that gave up waiting may be gone before they are sent.
    SysCtrlPipeClientThread(bool createSuspended, volatile LONG* idleFlag, SysCtrlPipeClient* client,
                            const void* request, DWORD requestSize, void* reply, DWORD replySize,
                            DWORD* bytesRead);
    ~SysCtrlPipeClientThread() override = default;

protected:
    void Execute() override;

private:
    SysCtrlPipeClient* m_pClient;
    std::vector<uint8_t> m_request;
    void* m_pReply;
    DWORD m_replySize;
    DWORD* m_pBytesRead;
    volatile LONG* m_pIdleFlag;
};
