// The simulated system-control service: serves one message-mode pipe instance, answers each request
// as its command line says and records every request it received.
#include "mirov/Handles.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr DWORD kChunk = 4096;
constexpr DWORD kPipeBuffer = 65536;
constexpr uint32_t kMaxLength = 1 << 20;
constexpr uint8_t kFiller = 0xA5;

// A value per request: the n-th request takes the n-th element, later ones the last.
using PerRequest = std::vector<uint32_t>;

struct Options {
    std::string pipe = "ORVANE SYSTEM CONTROL PIPE";
    PerRequest status{1};
    PerRequest first{0};
    PerRequest second{0};
    PerRequest length{12};
    PerRequest delay{0};
    PerRequest hangup{0};
    long count = -1; // no limit
    std::string log;
    std::string ready;
    DWORD parent = 0;
};

uint32_t Nth(const PerRequest& values, long n) {
    return values[std::min(static_cast<size_t>(n), values.size() - 1)];
}

bool ParseList(const char* text, PerRequest& values) {
    values.clear();
    const char* p = text;
    for (;;) {
        char* end = nullptr;
        values.push_back(static_cast<uint32_t>(std::strtoul(p, &end, 0)));
        if (end == p)
            return false;
        if (*end == '\0')
            return true;
        if (*end != ',')
            return false;
        p = end + 1;
    }
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        bool ok = true;
        if (name == "--pipe")
            options.pipe = value;
        else if (name == "--status")
            ok = ParseList(value, options.status);
        else if (name == "--first")
            ok = ParseList(value, options.first);
        else if (name == "--second")
            ok = ParseList(value, options.second);
        else if (name == "--length")
            ok = ParseList(value, options.length);
        else if (name == "--delay")
            ok = ParseList(value, options.delay);
        else if (name == "--hangup")
            ok = ParseList(value, options.hangup);
        else if (name == "--count")
            options.count = std::strtol(value, nullptr, 0);
        else if (name == "--log")
            options.log = value;
        else if (name == "--ready")
            options.ready = value;
        else if (name == "--parent")
            options.parent = std::strtoul(value, nullptr, 0);
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "SysCtrlSim: bad option %s %s\n", name.c_str(), value);
            return false;
        }
    }
    return argc % 2 == 1;
}

void PutWord(std::vector<uint8_t>& bytes, size_t offset, uint32_t word) {
    for (size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(word >> (8 * i));
}

std::vector<uint8_t> BuildReply(const Options& options, long n) {
    const uint32_t length = std::min(Nth(options.length, n), kMaxLength);
    std::vector<uint8_t> reply(std::max<uint32_t>(12, length), kFiller);
    PutWord(reply, 0, Nth(options.status, n));
    PutWord(reply, 4, Nth(options.first, n));
    PutWord(reply, 8, Nth(options.second, n));
    reply.resize(length); // shorter replies are cut anywhere, even inside the status word
    return reply;
}

// One whole message; false when the client went away before sending one.
bool ReadMessage(HANDLE pipe, std::vector<uint8_t>& message) {
    message.clear();
    for (;;) {
        uint8_t chunk[kChunk];
        DWORD read = 0;
        const BOOL ok = ::ReadFile(pipe, chunk, kChunk, &read, nullptr);
        message.insert(message.end(), chunk, chunk + read);
        if (ok)
            return true;
        if (::GetLastError() != ERROR_MORE_DATA)
            return false;
    }
}

// Unread reply bytes are lost when the server disconnects first, so wait for the client to hang up.
void WaitForHangUp(HANDLE pipe) {
    std::vector<uint8_t> ignored;
    while (ReadMessage(pipe, ignored)) {
    }
}

// Appends "01 00 00 80": opened per line, so that a reader sees every request at once.
void Record(const std::string& log, const std::vector<uint8_t>& request) {
    std::string line;
    char hex[4];
    for (uint8_t byte : request) {
        std::snprintf(hex, sizeof hex, "%02X", byte);
        line += (line.empty() ? "" : " ") + std::string(hex);
    }
    std::ofstream file(log, std::ios::binary | std::ios::app);
    file << line << '\n';
}

// An empty record from the start: a reader can tell "no request yet" from "not started".
void StartRecord(const std::string& log) {
    std::ofstream file(log, std::ios::binary | std::ios::trunc);
}

void Serve(HANDLE pipe, const Options& options, long n) {
    std::vector<uint8_t> request;
    if (!ReadMessage(pipe, request))
        return;
    if (!options.log.empty())
        Record(options.log, request);
    ::Sleep(Nth(options.delay, n));
    if (Nth(options.hangup, n))
        return;
    const std::vector<uint8_t> reply = BuildReply(options, n);
    DWORD written = 0;
    ::WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
    WaitForHangUp(pipe);
}

DWORD WINAPI EndWithParent(void* parent) {
    ::WaitForSingleObject(parent, INFINITE);
    ::ExitProcess(0);
    return 0;
}

// The simulator must not outlive the test that started it, even one that crashed.
void WatchParent(DWORD pid) {
    static mirov::UniqueHandle parent(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    // The watcher runs on without a handle of its own.
    mirov::UniqueHandle watcher(parent ? ::CreateThread(nullptr, 0, EndWithParent, parent.Get(), 0, nullptr)
                                       : nullptr);
}

void SignalReady(const Options& options) {
    if (!options.ready.empty()) {
        mirov::UniqueHandle event(::OpenEventA(EVENT_MODIFY_STATE, FALSE, options.ready.c_str()));
        ::SetEvent(event.Get());
    }
    std::printf("listening\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options))
        return 2;
    if (options.parent)
        WatchParent(options.parent);
    const std::string path = "\\\\.\\PIPE\\" + options.pipe;
    mirov::UniqueFileHandle pipe(::CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX,
                                                    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                                    kPipeBuffer, kPipeBuffer, 0, nullptr));
    if (!pipe) {
        std::fprintf(stderr, "SysCtrlSim: CreateNamedPipe failed, error %lu\n", ::GetLastError());
        return 1;
    }
    if (!options.log.empty())
        StartRecord(options.log);
    SignalReady(options);
    for (long n = 0; options.count < 0 || n < options.count; ++n) {
        // A client may connect between the creation and this call: that counts as connected.
        if (!::ConnectNamedPipe(pipe.Get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED)
            return 1;
        Serve(pipe.Get(), options, n);
        ::DisconnectNamedPipe(pipe.Get());
    }
    return 0;
}
