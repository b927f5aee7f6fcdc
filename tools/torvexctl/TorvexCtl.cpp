// Sends the helper's window a power event or the quit request, as the system or another program would.
//   TorvexCtl suspend|resume|resume-critical|resume-automatic|query-suspend|power N|quit
//   [WPARAM]|close|status
//             [--post]
// Prints how many helper windows exist, whether the first is visible, and the message's result.
#include "mirov/Contract.h"
#include "tools/common/HelperWindow.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Command {
    const char* name;
    UINT message;
    WPARAM wParam;
};

const Command kCommands[] = {
    {"suspend", WM_POWERBROADCAST, PBT_APMSUSPEND},
    {"resume", WM_POWERBROADCAST, PBT_APMRESUMESUSPEND},
    {"resume-critical", WM_POWERBROADCAST, PBT_APMRESUMECRITICAL},
    {"resume-automatic", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC},
    {"query-suspend", WM_POWERBROADCAST, PBT_APMQUERYSUSPEND},
    {"power", WM_POWERBROADCAST, 0},
    {"quit", contract::kQuitMessage, contract::kQuitRequest},
    {"close", WM_CLOSE, 0},
    {"status", 0, 0},
};

int Usage() {
    std::fprintf(stderr, "usage: TorvexCtl suspend|resume|resume-critical|resume-automatic|query-suspend|"
                         "power N|quit [WPARAM]|close|status [--post]\n");
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    const Command* command = nullptr;
    for (const Command& candidate : kCommands) {
        if (std::strcmp(argv[1], candidate.name) == 0)
            command = &candidate;
    }
    if (!command)
        return Usage();
    WPARAM wParam = command->wParam;
    bool post = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--post") == 0)
            post = true;
        else
            wParam = std::strtoul(argv[i], nullptr, 0);
    }

    const auto windows = FindHelperWindows();
    std::printf("windows=%u", static_cast<unsigned>(windows.size()));
    if (windows.empty()) {
        std::printf("\n");
        return 2;
    }
    const HWND window = windows.front();
    std::printf(" visible=%s", ::IsWindowVisible(window) ? "yes" : "no");
    if (command->message != 0) {
        if (post) {
            std::printf(" posted=%s", ::PostMessageA(window, command->message, wParam, 0) ? "yes" : "no");
        } else {
            DWORD_PTR result = 0;
            if (::SendMessageTimeoutA(window, command->message, wParam, 0, SMTO_NORMAL, 60000, &result))
                std::printf(" result=%lu", static_cast<unsigned long>(result));
            else
                std::printf(" result=none error=%lu", ::GetLastError());
        }
    }
    std::printf("\n");
    return 0;
}
