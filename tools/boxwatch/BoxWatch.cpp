// Presses OK on every message box that appears and prints what it said.
//   BoxWatch [--pid N] [--seconds S] [--delay MS]
#include "tools/common/MessageBoxWatcher.h"
#include "tools/common/ToolArgs.h"

#include <cstdio>

int main(int argc, char** argv) {
    const DWORD seconds = ToolArg(argc, argv, "--seconds", 0);
    MessageBoxWatcher watcher(ToolArg(argc, argv, "--pid", 0));
    watcher.SetPressDelay(ToolArg(argc, argv, "--delay", 0));
    std::fprintf(stderr, "BoxWatch: watching\n");
    const ULONGLONG end = seconds ? ::GetTickCount64() + seconds * 1000ull : ~0ull;
    size_t printed = 0;
    while (::GetTickCount64() < end) {
        watcher.WaitForCount(printed + 1, 100);
        const auto boxes = watcher.Boxes();
        for (; printed < boxes.size(); ++printed) {
            const auto& box = boxes[printed];
            std::printf("box pid=%lu icon=%s caption=\"%s\" text=\"%s\"\n",
                        static_cast<unsigned long>(box.pid), box.hasIcon ? "yes" : "no", box.caption.c_str(),
                        box.text.c_str());
            std::fflush(stdout);
        }
    }
    return 0;
}
