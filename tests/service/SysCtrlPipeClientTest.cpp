#include "sysctrl/SysCtrlPipeClient.h"
#include "sysctrl/SysCtrlPipeClientThread.h"

#include "tests/support/ImportHook.h"
#include "tests/support/OwnTrace.h"
#include "tests/support/SimService.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr char kBusyLine[] = "CallSysCtrlService Failed, the previous request is not completed yet.\r\n";
constexpr char kTimeoutLine[] = "CallSysCtrlService Failed, Waiting error or Timeout.\r\n";
constexpr char kOcStateRequest[] = "01 00 00 80";
const uint8_t kRequestBytes[] = {0x01, 0x00, 0x00, 0x80};

using Lines = std::vector<std::string>;

// Reads the flag without changing it.
LONG IdleFlag() {
    return ::InterlockedCompareExchange(&g_sysCtrlIdle, 1, 1);
}

class Stopwatch {
public:
    long long Ms() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                     m_start)
            .count();
    }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// The values a query must leave alone when it fails.
struct OcState {
    int32_t first = -5;
    int32_t second = -6;
    bool Query(SysCtrlPipeClient* client = SysCtrlPipeClient::Instance()) {
        return client->QueryOcState(first, second);
    }
    bool IsUntouched() const { return first == -5 && second == -6; }
};

HANDLE WINAPI FailCreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD,
                               LPDWORD) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

// Set, the next allocation on this thread fails as it would when memory runs out.
thread_local bool t_failNextNew = false;

} // namespace

void* operator new(std::size_t size) {
    void* block = nullptr;
    if (!std::exchange(t_failNextNew, false))
        block = ::HeapAlloc(::GetProcessHeap(), 0, size != 0 ? size : 1);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void operator delete(void* block) noexcept {
    if (block)
        ::HeapFree(::GetProcessHeap(), 0, block);
}

void operator delete(void* block, std::size_t) noexcept {
    operator delete(block);
}

TEST(SysCtrlPipeClient, TwelveByteReplyWithStatusOneGivesBothValues) {
    SimService service("--status 1 --first 2 --second 7");
    ASSERT_TRUE(service.IsReady());
    OwnTrace trace;
    OcState state;
    EXPECT_TRUE(state.Query());
    EXPECT_EQ(state.first, 2);
    EXPECT_EQ(state.second, 7);
    EXPECT_EQ(SysCtrlPipeClient::Instance()->GetReplyDataSize(), 8);
    EXPECT_EQ(service.Requests(), Lines{kOcStateRequest});
    EXPECT_EQ(IdleFlag(), 1);
    EXPECT_TRUE(trace.Take().empty());
}

TEST(SysCtrlPipeClient, QueryRejectsOtherStatusOrShortRepliesSilently) {
    // Status 0 in 12 bytes, then status 1 in 8 and in 11 bytes, then a good reply.
    SimService service("--status 0,1,1,1 --length 12,8,11,12 --first 3 --second 4");
    ASSERT_TRUE(service.IsReady());
    OwnTrace trace;
    for (int i = 0; i < 3; ++i) {
        OcState state;
        EXPECT_FALSE(state.Query()) << "reply " << i;
        EXPECT_TRUE(state.IsUntouched()) << "reply " << i;
    }
    EXPECT_TRUE(trace.Take().empty());
    OcState state;
    EXPECT_TRUE(state.Query());
    EXPECT_EQ(state.first, 3);
    EXPECT_EQ(service.Requests().size(), 4u);
}

TEST(SysCtrlPipeClient, ServiceCallNeedsTheStatusWordToHaveArrived) {
    // Every reply has status 1 as far as it goes; the buffer holds a status 1 when the short ones come.
    SimService service("--status 1 --length 8,3,0,8,5000 --hangup 0,0,0,1,0 --first 9");
    ASSERT_TRUE(service.IsReady());
    OwnTrace trace;
    SysCtrlPipeClient* client = SysCtrlPipeClient::Instance();
    EXPECT_TRUE(client->CallSysCtrlService(kRequestBytes, sizeof kRequestBytes));
    EXPECT_EQ(client->GetReplyDataSize(), 4);
    EXPECT_FALSE(client->CallSysCtrlService(kRequestBytes, sizeof kRequestBytes)); // 3 bytes
    EXPECT_EQ(client->GetReplyDataSize(), -1);
    EXPECT_FALSE(client->CallSysCtrlService(kRequestBytes, sizeof kRequestBytes)); // an empty reply
    EXPECT_EQ(client->GetReplyDataSize(), -4);
    EXPECT_TRUE(trace.Take().empty());

    // No reply at all: the simulator disconnects the client.
    EXPECT_FALSE(client->CallSysCtrlService(kRequestBytes, sizeof kRequestBytes));
    EXPECT_EQ(client->GetReplyDataSize(), -4);
    EXPECT_EQ(trace.Take(), Lines{CallFailedLine(ERROR_PIPE_NOT_CONNECTED)});

    // A reply longer than the buffer fails the pipe call, yet its status word counts.
    EXPECT_TRUE(client->CallSysCtrlService(kRequestBytes, sizeof kRequestBytes));
    EXPECT_EQ(client->GetReplyDataSize(), 4092);
    EXPECT_EQ(client->GetReplyData()[0], 9);
    EXPECT_EQ(trace.Take(), Lines{CallFailedLine(ERROR_MORE_DATA)});
    EXPECT_EQ(service.Requests().size(), 5u);
}

TEST(SysCtrlPipeClient, ReplyLongerThanTheBufferStillGivesItsValues) {
    SimService service("--status 1 --first 11 --second 22 --length 5000");
    ASSERT_TRUE(service.IsReady());
    OwnTrace trace;
    OcState state;
    EXPECT_TRUE(state.Query());
    EXPECT_EQ(state.first, 11);
    EXPECT_EQ(state.second, 22);
    EXPECT_EQ(trace.Take(), Lines{CallFailedLine(ERROR_MORE_DATA)});
}

TEST(SysCtrlPipeClient, NoServiceFailsWithThePipeLineAndFreesTheFlag) {
    OwnTrace trace;
    ASSERT_TRUE(trace.IsListening());
    OcState state;
    EXPECT_FALSE(state.Query());
    EXPECT_TRUE(state.IsUntouched());
    EXPECT_EQ(IdleFlag(), 1);
    // The next request is let through to the pipe again, rather than refused as busy.
    EXPECT_FALSE(state.Query());
    EXPECT_EQ(trace.Take(),
              (Lines{CallFailedLine(ERROR_FILE_NOT_FOUND), CallFailedLine(ERROR_FILE_NOT_FOUND)}));
}

TEST(SysCtrlPipeClient, FailedCallRightAfterAGoodOneIsNoSuccess) {
    OcState state;
    {
        SimService service("--first 2 --count 1");
        ASSERT_TRUE(service.IsReady());
        EXPECT_TRUE(state.Query());
        ASSERT_TRUE(service.WaitForExit(10000));
    }
    // No service now: the pipe call fails without a reply, and the last one's bytes must not count.
    OcState after;
    EXPECT_FALSE(after.Query());
    EXPECT_TRUE(after.IsUntouched());
}

TEST(SysCtrlPipeClient, CallsInARowReuseTheClientAndItsBuffer) {
    SimService service("--first 2,5 --second 7,9");
    ASSERT_TRUE(service.IsReady());
    SysCtrlPipeClient* client = SysCtrlPipeClient::Instance();
    OcState state;
    EXPECT_TRUE(state.Query());
    const int32_t* data = client->GetReplyData();
    EXPECT_EQ(data[0], 2);
    EXPECT_TRUE(state.Query());
    EXPECT_EQ(state.first, 5);
    EXPECT_EQ(state.second, 9);
    EXPECT_EQ(SysCtrlPipeClient::Instance(), client);
    EXPECT_EQ(client->GetReplyData(), data);
    EXPECT_EQ(data[0], 5);
    EXPECT_EQ(service.Requests(), (Lines{kOcStateRequest, kOcStateRequest}));
}

TEST(SysCtrlPipeClient, ConcurrentRequestsAreAdmittedOneAtATime) {
    constexpr int kThreads = 8;
    constexpr DWORD kServiceDelayMs = 1500;
    SimService service("--first 4 --delay " + std::to_string(kServiceDelayMs));
    ASSERT_TRUE(service.IsReady());
    OwnTrace trace;
    SysCtrlPipeClient* client = SysCtrlPipeClient::Instance(); // here: Instance is for one thread only
    const mirov::UniqueHandle go(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::vector<int> answered(kThreads, 0);
    std::vector<long long> tookMs(kThreads, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            ::WaitForSingleObject(go.Get(), INFINITE);
            OcState state;
            const Stopwatch watch;
            answered[i] = state.Query(client) ? state.first : -1;
            tookMs[i] = watch.Ms();
        });
    }
    ::SetEvent(go.Get());
    for (std::thread& thread : threads)
        thread.join();

    int admitted = 0;
    for (int i = 0; i < kThreads; ++i) {
        if (answered[i] == 4)
            ++admitted;
        else // refused at once, not after the admitted one's reply
            EXPECT_LT(tookMs[i], static_cast<long long>(kServiceDelayMs)) << "thread " << i;
    }
    EXPECT_EQ(admitted, 1);
    EXPECT_EQ(trace.Take(), Lines(kThreads - 1, kBusyLine));
    EXPECT_EQ(service.Requests(), Lines{kOcStateRequest});
    EXPECT_EQ(IdleFlag(), 1);
}

TEST(SysCtrlPipeClient, WorkerSendsItsOwnCopyOfTheRequest) {
    SimService service("--first 6 --second 8");
    ASSERT_TRUE(service.IsReady());
    volatile LONG idle = 0;
    uint8_t request[] = {0x01, 0x00, 0x00, 0x80};
    uint32_t reply[4] = {};
    DWORD bytesRead = 0;
    auto* worker = new SysCtrlPipeClientThread(true, &idle, SysCtrlPipeClient::Instance(), request,
                                               sizeof request, reply, sizeof reply, &bytesRead);
    ASSERT_TRUE(worker->IsCreated());
    worker->SetFreeOnTerminate(true);
    const mirov::UniqueHandle end = worker->DuplicateHandle();
    // The requester's bytes are gone before the worker runs.
    std::fill(std::begin(request), std::end(request), 0xEE);
    ASSERT_TRUE(worker->Resume());
    ASSERT_EQ(::WaitForSingleObject(end.Get(), 10000), WAIT_OBJECT_0);

    EXPECT_EQ(service.Requests(), Lines{kOcStateRequest});
    EXPECT_EQ(static_cast<LONG>(idle), 1); // given back: the flag it was handed, not the process's
    EXPECT_EQ(bytesRead, 12u);
    EXPECT_EQ(reply[1], 6u);
    EXPECT_EQ(reply[2], 8u);
}

TEST(SysCtrlPipeClient, WorkerThatCannotBeCreatedFreesTheFlag) {
    SimService service("--first 3");
    ASSERT_TRUE(service.IsReady());
    OwnTrace trace;
    OcState state;
    {
        ImportHook hook("KERNEL32.dll", "CreateThread", &FailCreateThread);
        ASSERT_TRUE(hook.IsActive());
        EXPECT_FALSE(state.Query());
    }
    EXPECT_TRUE(state.IsUntouched());
    EXPECT_EQ(trace.Take(), Lines{kTimeoutLine});
    EXPECT_EQ(IdleFlag(), 1);
    EXPECT_TRUE(service.Requests().empty());
    EXPECT_TRUE(state.Query());
    EXPECT_EQ(state.first, 3);
}

TEST(SysCtrlPipeClient, WorkerThatCannotBeAllocatedFreesTheFlagWithoutThrowing) {
    SimService service("--first 3");
    ASSERT_TRUE(service.IsReady());
    OwnTrace trace;
    OcState state;
    SysCtrlPipeClient* client = SysCtrlPipeClient::Instance();
    t_failNextNew = true; // the first allocation of a request is its worker
    EXPECT_NO_THROW(EXPECT_FALSE(state.Query(client)));
    t_failNextNew = false;
    EXPECT_TRUE(state.IsUntouched());
    EXPECT_EQ(trace.Take(), Lines{kTimeoutLine});
    EXPECT_EQ(IdleFlag(), 1);
    EXPECT_TRUE(state.Query());
    EXPECT_EQ(state.first, 3);
}

// The slow cases, grouped: the requester gives up after 10 s while the worker waits on; the
// service's late reply, 2 s after that, is what frees the flag.
TEST(SysCtrlPipeClient, LateReplyKeepsLaterRequestsOutUntilItArrives) {
    constexpr long long kReplyAfterMs = 12000;
    SimService service("--first 2,5 --second 7,9 --delay " + std::to_string(kReplyAfterMs) + ",0");
    ASSERT_TRUE(service.IsReady());
    OwnTrace trace;
    OcState state;
    const Stopwatch sinceRequest;
    EXPECT_FALSE(state.Query());
    const long long gaveUpAfter = sinceRequest.Ms();
    EXPECT_GE(gaveUpAfter, 9900); // the whole wait, no more
    EXPECT_LT(gaveUpAfter, kReplyAfterMs);
    EXPECT_TRUE(state.IsUntouched());
    EXPECT_EQ(trace.Take(), Lines{kTimeoutLine});

    // Before the late reply: refused at once, without reaching the service.
    const Stopwatch refusal;
    EXPECT_FALSE(state.Query());
    EXPECT_LT(refusal.Ms(), 2000);
    EXPECT_LT(sinceRequest.Ms(), kReplyAfterMs);
    EXPECT_EQ(trace.Take(), Lines{kBusyLine});
    EXPECT_EQ(service.Requests(), Lines{kOcStateRequest});

    // The late reply frees the flag; until then it stays taken.
    while (IdleFlag() != 1 && sinceRequest.Ms() < 30000)
        ::Sleep(20);
    EXPECT_EQ(IdleFlag(), 1);
    EXPECT_GE(sinceRequest.Ms(), kReplyAfterMs - 100);
    EXPECT_EQ(SysCtrlPipeClient::Instance()->GetReplyData()[0], 2); // written by the worker on its own

    EXPECT_TRUE(state.Query());
    EXPECT_EQ(state.first, 5);
    EXPECT_EQ(state.second, 9);
    EXPECT_EQ(service.Requests(), (Lines{kOcStateRequest, kOcStateRequest}));
    EXPECT_TRUE(trace.Take().empty());
}
