#include "sysctrl/SysCtrlPipeClientThread.h"

#include "mirov/NamedPipe.h"
#include "sysctrl/SysCtrlPipeClient.h"

namespace {

constexpr char kServer[] = ".";
constexpr char kPipeName[] = "ORVANE SYSTEM CONTROL PIPE";

} // namespace

SysCtrlPipeClientThread::SysCtrlPipeClientThread(bool createSuspended, volatile LONG* idleFlag,
                                                 SysCtrlPipeClient* client, const void* request,
                                                 DWORD requestSize, void* reply, DWORD replySize,
                                                 DWORD* bytesRead)
    : m_pClient(client),
      m_request(static_cast<const uint8_t*>(request), static_cast<const uint8_t*>(request) + requestSize),
      m_pReply(reply), m_replySize(replySize), m_pBytesRead(bytesRead), m_pIdleFlag(idleFlag) {
    // The base always creates the thread suspended, so that it cannot run on a half-built object.
    if (!createSuspended)
        Resume();
}

void SysCtrlPipeClientThread::Execute() {
    const bool ok =
        mirov::NamedPipeA::Call(kServer, kPipeName, m_request.data(), static_cast<DWORD>(m_request.size()),
                                m_pReply, m_replySize, m_pBytesRead, NMPWAIT_WAIT_FOREVER);
    m_pClient->m_callOk = ok;
    // Last: the exchange is a full barrier, so the next request sees this one's result and reply whole.
    ::InterlockedExchange(m_pIdleFlag, 1);
}
