// Prints what a running process costs, read from outside it:
//   ProcStat PID [--every MS --count N]
// one line per reading: private bytes, working set, handle count, thread count and CPU times.
#include "bench/common/Table.h"
#include "mirov/Handles.h"
#include "tools/common/ProcessFigures.h"
#include "tools/common/ToolArgs.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::vector<std::string> Row(DWORD pid, const ProcessFigures& figures) {
    return {Format("%lu", static_cast<unsigned long>(pid)),
            Format("%lu", static_cast<unsigned long>(figures.privateBytes)),
            Format("%lu", static_cast<unsigned long>(figures.workingSet)),
            Format("%lu", static_cast<unsigned long>(figures.handles)),
            Format("%lu", static_cast<unsigned long>(figures.threads)),
            Format("%.1f", CpuMs(figures.processCpu)),
            Format("%.1f", CpuMs(figures.threadCpu))};
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ProcStat PID [--every MS --count N]\n");
        return 1;
    }
    const DWORD pid = std::strtoul(argv[1], nullptr, 0);
    const DWORD every = ToolArg(argc, argv, "--every", 0);
    const DWORD count = ToolArg(argc, argv, "--count", 1);
    mirov::UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process) {
        std::fprintf(stderr, "ProcStat: cannot open process %lu (error %lu)\n",
                     static_cast<unsigned long>(pid), ::GetLastError());
        return 2;
    }
    Table table(
        {"pid", "private bytes", "working set", "handles", "threads", "process cpu ms", "thread cpu ms"}, 0);
    ProcessFigures figures;
    for (DWORD i = 0; i < count; ++i) {
        if (i > 0)
            ::Sleep(every);
        if (!ReadProcessFigures(process.Get(), pid, figures)) {
            std::fprintf(stderr, "ProcStat: cannot read process %lu\n", static_cast<unsigned long>(pid));
            return 3;
        }
        table.Add(Row(pid, figures));
    }
    table.Print();
    if (figures.privateFromPagefile || figures.handlesFromSystemTable)
        std::printf("(%s%s)\n", figures.privateFromPagefile ? "private bytes from PagefileUsage; " : "",
                    figures.handlesFromSystemTable ? "handles from the system handle table" : "");
    return 0;
}
