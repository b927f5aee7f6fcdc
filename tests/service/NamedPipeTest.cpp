#include "mirov/Handles.h"
#include "mirov/NamedPipe.h"

#include "tests/support/ImportHook.h"
#include "tests/support/OwnTrace.h"
#include "tests/support/SimService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr char kPipe[] = "ORVANE SYSTEM CONTROL PIPE";
constexpr char kPipePath[] = "\\\\.\\PIPE\\ORVANE SYSTEM CONTROL PIPE";

// What the program handed to the platform to open, wait for and use the pipe, recorded on the way
// to the real functions.
struct PipeOpen {
    std::string path;
    DWORD access;
    DWORD share;
    DWORD disposition;
    DWORD flags;
    DWORD error; // 0 when the open succeeded
};

struct PipeWait {
    std::string path;
    DWORD timeout;
};

struct Transaction {
    std::vector<uint8_t> request;
    const void* requestPointer;
    const void* reply;
    DWORD replyCapacity;
    const DWORD* bytesRead;
    const OVERLAPPED* overlapped;
};

std::vector<PipeOpen> g_opens;
std::vector<PipeWait> g_waits;
std::vector<Transaction> g_transactions;
HANDLE g_waiting = nullptr; // set once the call waits for a free instance
ImportHook* g_openHook = nullptr;
ImportHook* g_waitHook = nullptr;
ImportHook* g_transactHook = nullptr;

HANDLE WINAPI RecordCreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE model) {
    const HANDLE file = g_openHook->Original<decltype(&RecordCreateFileA)>()(path, access, share, security,
                                                                             disposition, flags, model);
    const DWORD error = file == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
    g_opens.push_back({path, access, share, disposition, flags, error});
    ::SetLastError(error);
    return file;
}

BOOL WINAPI RecordWaitNamedPipeA(LPCSTR path, DWORD timeout) {
    g_waits.push_back({path, timeout});
    ::SetEvent(g_waiting);
    return g_waitHook->Original<decltype(&RecordWaitNamedPipeA)>()(path, timeout);
}

BOOL WINAPI RecordTransactNamedPipe(HANDLE pipe, LPVOID request, DWORD requestSize, LPVOID reply,
                                    DWORD replyCapacity, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
    const uint8_t* bytes = static_cast<const uint8_t*>(request);
    g_transactions.push_back({std::vector<uint8_t>(bytes, bytes + requestSize), request, reply, replyCapacity,
                              bytesRead, overlapped});
    return g_transactHook->Original<decltype(&RecordTransactNamedPipe)>()(
        pipe, request, requestSize, reply, replyCapacity, bytesRead, overlapped);
}

// Counts the CloseHandle calls one thread makes.
std::atomic<DWORD> g_watchedThread{0};
std::atomic<int> g_closeCount{0};
ImportHook* g_closeHook = nullptr;

BOOL WINAPI CountCloseHandle(HANDLE handle) {
    if (::GetCurrentThreadId() == g_watchedThread)
        ++g_closeCount;
    return g_closeHook->Original<decltype(&CountCloseHandle)>()(handle);
}

} // namespace

TEST(NamedPipe, PathIsServerAndNameBetweenFixedPartsUnchanged) {
    EXPECT_EQ(mirov::NamedPipeA::BuildPipePath(".", kPipe), kPipePath);
    EXPECT_EQ(mirov::NamedPipeA::BuildPipePath("", "p"), "\\\\\\PIPE\\p");
    EXPECT_EQ(mirov::NamedPipeA::BuildPipePath(" Far Host ", " mixed Case "),
              "\\\\ Far Host \\PIPE\\ mixed Case ");
    EXPECT_EQ(mirov::BasicNamedPipe<wchar_t>::BuildPipePath(L".", L"wide"), L"\\\\.\\PIPE\\wide");
}

// Whoever serves a pipe of that name may identify the caller but never act as it. Wine ignores the
// caller's security quality of service (its servers may impersonate in full with or without it), so
// what is checked here is what the call asks of the platform.
TEST(NamedPipe, CallOpensForIdentificationOnlyWaitsForAFreeInstanceAndDeliversTheReply) {
    SimService service("--status 1 --first 2 --second 7");
    ASSERT_TRUE(service.IsReady());
    OwnTrace trace;
    // Another client holds the service's one instance until the call waits for it.
    mirov::UniqueFileHandle other(
        ::CreateFileA(kPipePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(other);
    const mirov::UniqueHandle waiting(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    g_waiting = waiting.Get();
    ImportHook open("KERNEL32.dll", "CreateFileA", &RecordCreateFileA);
    ImportHook wait("KERNEL32.dll", "WaitNamedPipeA", &RecordWaitNamedPipeA);
    ImportHook transact("KERNEL32.dll", "TransactNamedPipe", &RecordTransactNamedPipe);
    g_openHook = &open;
    g_waitHook = &wait;
    g_transactHook = &transact;

    const uint8_t request[] = {0x01, 0x00, 0x00, 0x80};
    uint32_t reply[8] = {};
    DWORD bytesRead = 99;
    auto call = std::async(std::launch::async, [&] {
        return mirov::NamedPipeA::Call(".", kPipe, request, sizeof request, reply, sizeof reply, &bytesRead,
                                       5000);
    });
    EXPECT_EQ(::WaitForSingleObject(waiting.Get(), 5000), WAIT_OBJECT_0);
    other.Reset();
    EXPECT_TRUE(call.get());

    const DWORD identifyOnly = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
    ASSERT_EQ(g_opens.size(), 2u); // busy, then free after the wait
    for (const PipeOpen& opened : g_opens) {
        EXPECT_EQ(opened.path, kPipePath);
        EXPECT_EQ(opened.access, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
        EXPECT_EQ(opened.share, 0u);
        EXPECT_EQ(opened.disposition, static_cast<DWORD>(OPEN_EXISTING));
        EXPECT_EQ(opened.flags, identifyOnly);
    }
    EXPECT_EQ(g_opens[0].error, static_cast<DWORD>(ERROR_PIPE_BUSY));
    EXPECT_EQ(g_opens[1].error, 0u);
    ASSERT_EQ(g_waits.size(), 1u);
    EXPECT_EQ(g_waits[0].path, kPipePath);
    EXPECT_EQ(g_waits[0].timeout, 5000u);
    ASSERT_EQ(g_transactions.size(), 1u);
    EXPECT_EQ(g_transactions[0].request, std::vector<uint8_t>(request, request + sizeof request));
    EXPECT_EQ(g_transactions[0].requestPointer, request);
    EXPECT_EQ(g_transactions[0].reply, reply);
    EXPECT_EQ(g_transactions[0].replyCapacity, sizeof reply);
    EXPECT_EQ(g_transactions[0].bytesRead, &bytesRead);
    EXPECT_EQ(g_transactions[0].overlapped, nullptr);
    EXPECT_EQ(bytesRead, 12u);
    EXPECT_EQ(reply[0], 1u);
    EXPECT_EQ(reply[1], 2u);
    EXPECT_EQ(reply[2], 7u);
    EXPECT_EQ(reply[3], 0u); // nothing past the reply
    EXPECT_EQ(service.Requests(), std::vector<std::string>{"01 00 00 80"});
    EXPECT_TRUE(trace.Take().empty());
}

TEST(NamedPipe, CallWithoutServerFailsWithOneLineCarryingTheError) {
    OwnTrace trace;
    ASSERT_TRUE(trace.IsListening());
    char reply[16];
    DWORD bytesRead = 0;
    EXPECT_FALSE(
        mirov::NamedPipeA::Call(".", kPipe, "x", 1, reply, sizeof reply, &bytesRead, NMPWAIT_WAIT_FOREVER));
    EXPECT_EQ(trace.Take(), std::vector<std::string>{CallFailedLine(ERROR_FILE_NOT_FOUND)});
}

TEST(NamedPipe, ReplyLongerThanTheBufferFailsYetFillsIt) {
    SimService service("--status 1 --first 5 --second 6 --length 5000");
    ASSERT_TRUE(service.IsReady());
    OwnTrace trace;
    uint32_t reply[1024] = {};
    DWORD bytesRead = 0;
    EXPECT_FALSE(
        mirov::NamedPipeA::Call(".", kPipe, "q", 1, reply, sizeof reply, &bytesRead, NMPWAIT_WAIT_FOREVER));
    EXPECT_EQ(bytesRead, sizeof reply);
    EXPECT_EQ(reply[0], 1u);
    EXPECT_EQ(reply[1], 5u);
    EXPECT_EQ(reply[2], 6u);
    EXPECT_EQ(reply[1023], 0xA5A5A5A5u); // the simulator's filler, up to the last byte of the buffer
    EXPECT_EQ(trace.Take(), std::vector<std::string>{CallFailedLine(ERROR_MORE_DATA)});
}

TEST(NamedPipe, EachFailureIsOneLineWithNoLineBreakOfItsOwn) {
    OwnTrace trace;
    char reply[16];
    DWORD bytesRead = 0;
    {
        SimService service("--hangup 1"); // disconnects each client without a reply
        ASSERT_TRUE(service.IsReady());
        EXPECT_FALSE(
            mirov::NamedPipeA::Call(".", kPipe, "a", 1, reply, sizeof reply, &bytesRead, 0xFFFFFFFF));
        EXPECT_FALSE(
            mirov::NamedPipeA::Call(".", kPipe, "b", 1, reply, sizeof reply, &bytesRead, 0xFFFFFFFF));
    }
    EXPECT_FALSE(mirov::NamedPipeA::Call(".", kPipe, "c", 1, reply, sizeof reply, &bytesRead, 0xFFFFFFFF));

    const std::vector<std::string> lines = trace.Take();
    EXPECT_EQ(lines, (std::vector<std::string>{CallFailedLine(ERROR_PIPE_NOT_CONNECTED),
                                               CallFailedLine(ERROR_PIPE_NOT_CONNECTED),
                                               CallFailedLine(ERROR_FILE_NOT_FOUND)}));
    for (const std::string& line : lines)
        EXPECT_EQ(line.find_first_of("\r\n"), line.size() - 2) << line;
}

TEST(NamedPipe, NewPipeIsNotOpenAndClosingItCallsNothing) {
    OwnTrace trace;
    ImportHook hook("KERNEL32.dll", "CloseHandle", &CountCloseHandle);
    g_closeHook = &hook;
    ASSERT_TRUE(hook.IsActive());
    g_watchedThread = ::GetCurrentThreadId();

    // The counter sees this thread's closes...
    ::CloseHandle(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_EQ(g_closeCount, 1);
    // ...and a pipe that holds nothing closes nothing, neither when asked nor when destroyed.
    {
        mirov::NamedPipeA pipe;
        EXPECT_FALSE(pipe.IsOpen());
        EXPECT_TRUE(pipe.Close());
        EXPECT_FALSE(pipe.IsOpen());
    }
    EXPECT_EQ(g_closeCount, 1);
    g_watchedThread = 0;
    EXPECT_TRUE(trace.Take().empty());
}
