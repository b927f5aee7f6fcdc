// Prints the session's debugger output as it arrives: "<pid>: <exact bytes>".
//   DbgCapture [--pid N] [--seconds S]    (without --seconds: until the console is closed)
#include "tools/common/DebugOutputCapture.h"
#include "tools/common/ToolArgs.h"

#include <cstdio>

int main(int argc, char** argv) {
    const DWORD pid = ToolArg(argc, argv, "--pid", 0);
    const DWORD seconds = ToolArg(argc, argv, "--seconds", 0);
    DebugOutputCapture capture;
    if (!capture.IsListening()) {
        std::fprintf(stderr, "DbgCapture: another debugger-output listener is running\n");
        return 2;
    }
    capture.OnRecord([pid](const DebugOutputCapture::Record& record) {
        if (pid && record.pid != pid)
            return;
        std::printf("%lu: ", static_cast<unsigned long>(record.pid));
        std::fwrite(record.text.data(), 1, record.text.size(), stdout);
        std::fflush(stdout);
    });
    std::fprintf(stderr, "DbgCapture: listening\n");
    ::Sleep(seconds ? seconds * 1000 : INFINITE);
    return 0;
}
