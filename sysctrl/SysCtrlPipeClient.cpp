#include "sysctrl/SysCtrlPipeClient.h"

#include "mirov/DebugTrace.h"
#include "sysctrl/SysCtrlPipeClientThread.h"

#include <exception>

volatile LONG g_sysCtrlIdle = 1;

namespace {

constexpr DWORD kStatusSize = 4;
constexpr int32_t kOcStateSize = 8; // the two values after the status word
constexpr uint32_t kStatusOk = 1;

SysCtrlPipeClient* g_pClient = nullptr;

} // namespace

SysCtrlPipeClient::SysCtrlPipeClient() : m_pReply(new uint32_t[kReplyCapacity / sizeof(uint32_t)]) {}

SysCtrlPipeClient* SysCtrlPipeClient::Instance() {
    if (!g_pClient)
        g_pClient = new SysCtrlPipeClient();
    return g_pClient;
}

bool SysCtrlPipeClient::CallSysCtrlService(const void* request, DWORD size) {
    if (::InterlockedExchange(&g_sysCtrlIdle, 0) != 1) {
        mirov::DebugTrace("CallSysCtrlService Failed, the previous request is not completed yet.");
        return false;
    }
    m_callOk = false;
    m_bytesRead = 0;
    mirov::UniqueHandle finished;
    if (!StartWorker(request, size, finished))
        ::InterlockedExchange(&g_sysCtrlIdle, 1); // no worker will give it back
    if (!finished || ::WaitForSingleObject(finished.Get(), kWaitMs) != WAIT_OBJECT_0) {
        // The worker, if any, runs on and gives the flag back when its call ends.
        mirov::DebugTrace("CallSysCtrlService Failed, Waiting error or Timeout.");
        return false;
    }
    // A failed pipe call has traced itself already.
    return ReplyStatusIsOk();
}

bool SysCtrlPipeClient::StartWorker(const void* request, DWORD size, mirov::UniqueHandle& finished) {
    std::unique_ptr<SysCtrlPipeClientThread> worker;
    try {
        worker = std::make_unique<SysCtrlPipeClientThread>(true, &g_sysCtrlIdle, this, request, size,
                                                           m_pReply.get(), kReplyCapacity, &m_bytesRead);
    } catch (const std::exception&) {
        // Out of memory for the worker or its copy of the request: a failed call, never a throw
        // through the window procedure that asked.
        return false;
    }
    if (!worker->IsCreated())
        return false;
    worker->SetFreeOnTerminate(true);
    // Taken before the start: once running, the worker may end and close its own handle at any time.
    finished = worker->DuplicateHandle();
    if (!worker->Resume()) {
        finished.Reset();
        return false; // it never ran, so it is freed here
    }
    worker.release(); // the running worker deletes itself
    return true;
}

bool SysCtrlPipeClient::ReplyStatusIsOk() const {
    // The status word must have arrived, whatever the call reported: a reply longer than the buffer
    // fails the call yet delivers it, and a reply shorter than it would leave old bytes in its place.
    return m_bytesRead >= kStatusSize && m_pReply[0] == kStatusOk;
}

int32_t SysCtrlPipeClient::GetReplyDataSize() const {
    return static_cast<int32_t>(m_bytesRead) - static_cast<int32_t>(kStatusSize);
}

const int32_t* SysCtrlPipeClient::GetReplyData() const {
    return reinterpret_cast<const int32_t*>(m_pReply.get() + 1);
}

bool SysCtrlPipeClient::QueryOcState(int32_t& first, int32_t& second) {
    // Little-endian on the wire, whatever the host.
    const uint8_t request[] = {
        static_cast<uint8_t>(kQueryOcStateRequest), static_cast<uint8_t>(kQueryOcStateRequest >> 8),
        static_cast<uint8_t>(kQueryOcStateRequest >> 16), static_cast<uint8_t>(kQueryOcStateRequest >> 24)};
    if (!CallSysCtrlService(request, sizeof request))
        return false;
    if (GetReplyDataSize() < kOcStateSize)
        return false;
    first = GetReplyData()[0];
    second = GetReplyData()[1];
    return true;
}
