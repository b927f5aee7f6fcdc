#include "mirov/NamedPipe.h"

#include "tests/support/ImportHook.h"
#include "tests/service/OwnTrace.h"
#include "tests/support/SimService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr char kPipe[] = "ORVANE SYSTEM CONTROL PIPE";
constexpr char kPipePath[] = "\\\\.\\PIPE\\ORVANE SYSTEM CONTROL PIPE";

std::string CallFailedLine(int error) {
    return "[BasicNamedPipe<char_t>::Call] failed, GetLastError returned " + std::to_string(error) + "\r\n";
}

// What the program handed to CallNamedPipeA, recorded on the way to the real function.
struct PlatformCall {
    std::string path;
    std::vector<uint8_t> request;
    const void* requestPointer;
    const void* reply;
    DWORD replyCapacity;
    const DWORD* bytesRead;
    DWORD timeout;
};

std::vector<PlatformCall> g_calls;
ImportHook* g_callHook = nullptr;

BOOL WINAPI RecordCallNamedPipeA(LPCSTR path, LPVOID request, DWORD requestSize, LPVOID reply,
                                 DWORD replyCapacity, LPDWORD bytesRead, DWORD timeout) {
    const uint8_t* bytes = static_cast<const uint8_t*>(request);
    g_calls.push_back({path, std::vector<uint8_t>(bytes, bytes + requestSize), request, reply, replyCapacity,
                       bytesRead, timeout});
    return g_callHook->Original<decltype(&RecordCallNamedPipeA)>()(path, request, requestSize, reply,
                                                                   replyCapacity, bytesRead, timeout);
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

TEST(NamedPipe, CallHandsThePlatformItsArgumentsAndDeliversTheReply) {
    SimService service("--status 1 --first 2 --second 7");
    ASSERT_TRUE(service.IsReady());
    OwnTrace trace;
    ImportHook hook("KERNEL32.dll", "CallNamedPipeA", &RecordCallNamedPipeA);
    g_callHook = &hook;
    ASSERT_TRUE(hook.IsActive());

    const uint8_t request[] = {0x01, 0x00, 0x00, 0x80};
    uint32_t reply[8] = {};
    DWORD bytesRead = 99;
    EXPECT_TRUE(
        mirov::NamedPipeA::Call(".", kPipe, request, sizeof request, reply, sizeof reply, &bytesRead, 1234));

    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].path, kPipePath);
    EXPECT_EQ(g_calls[0].request, std::vector<uint8_t>(request, request + sizeof request));
    EXPECT_EQ(g_calls[0].requestPointer, request);
    EXPECT_EQ(g_calls[0].reply, reply);
    EXPECT_EQ(g_calls[0].replyCapacity, sizeof reply);
    EXPECT_EQ(g_calls[0].bytesRead, &bytesRead);
    EXPECT_EQ(g_calls[0].timeout, 1234u);
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
