// Idle cost: the CPU time the program uses while nothing happens, beside the minimal window program;
// then the same meter over a burst of cycles, which shows that it does see the program's work.
#include "bench/Benches.h"
#include "bench/common/BenchMachine.h"
#include "bench/common/Table.h"
#include "tests/support/WindowProgram.h"
#include "tools/common/ProcessFigures.h"
#include "tools/common/ToolArgs.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr DWORD kDefaultSeconds = 10;
constexpr DWORD kIdleSettleMs = 1000;
constexpr DWORD kControlCycles = 500;

// Wine answers GetProcessTimes for another process with figures that do not follow its threads (they
// even go down); GetThreadTimes there reads the kernel's own accounting of each thread.
bool UnderWine() {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

struct Span {
    std::string program;
    std::string phase;
    ProcessFigures before;
    ProcessFigures after;

    double ProcessMs() const { return CpuMs(after.processCpu) - CpuMs(before.processCpu); }
    double ThreadMs() const { return CpuMs(after.threadCpu) - CpuMs(before.threadCpu); }
    // The meter that follows the program's threads where this runs.
    double Ms() const { return UnderWine() ? ThreadMs() : ProcessMs(); }
};

bool Read(const WindowProgram& program, ProcessFigures& figures) {
    return ReadProcessFigures(program.Process().Handle(), program.Pid(), figures);
}

bool MeasureIdle(const WindowProgram& helper, const WindowProgram& baseline, DWORD seconds,
                 std::vector<Span>& spans) {
    const std::string phase = Format("idle %lu s", static_cast<unsigned long>(seconds));
    spans.push_back({helper.Label(), phase, {}, {}});
    spans.push_back({baseline.Label(), phase, {}, {}});
    if (!Read(helper, spans[0].before) || !Read(baseline, spans[1].before))
        return false;
    ::Sleep(seconds * 1000);
    return Read(helper, spans[0].after) && Read(baseline, spans[1].after);
}

bool MeasureBusy(const WindowProgram& helper, std::vector<Span>& spans) {
    spans.push_back(
        {helper.Label(), Format("%lu cycles (control)", static_cast<unsigned long>(kControlCycles)), {}, {}});
    if (!Read(helper, spans.back().before))
        return false;
    for (DWORD i = 0; i < kControlCycles; ++i) {
        if (!helper.Cycle())
            return false;
    }
    return Read(helper, spans.back().after);
}

void PrintTable(const std::vector<Span>& spans) {
    std::printf("CPU time used (GetProcessTimes; GetThreadTimes summed over the thread snapshot)%s\n",
                UnderWine() ? "; under Wine the thread figures are the ones that count" : "");
    Table table({"program", "phase", "process cpu ms", "thread cpu ms", "threads"}, 2);
    for (const Span& s : spans)
        table.Add({s.program, s.phase, Format("%.1f", s.ProcessMs()), Format("%.1f", s.ThreadMs()),
                   Format("%lu", static_cast<unsigned long>(s.after.threads))});
    table.Print();
}

void PrintSummary(const std::vector<Span>& spans, DWORD seconds) {
    const Span& idle = spans[0];
    const Span& busy = spans[2];
    const bool met = idle.Ms() == 0 && idle.after.threads == 1;
    std::printf(
        "SUMMARY idle: TorvexHelp used %.1f ms CPU in %lu s of idling with %lu thread(s) "
        "(goal zero ticks, one thread: %s; timers: see work); the meter (%s) read %.1f ms for %lu cycles\n",
        idle.Ms(), static_cast<unsigned long>(seconds), static_cast<unsigned long>(idle.after.threads),
        met ? "met" : "NOT met", UnderWine() ? "GetThreadTimes" : "GetProcessTimes", busy.Ms(),
        static_cast<unsigned long>(kControlCycles));
    std::fflush(stdout);
}

} // namespace

int RunIdle(int argc, char** argv) {
    const DWORD seconds = ToolArg(argc, argv, "--seconds", kDefaultSeconds);
    BenchMachine machine;
    if (!machine.IsReady())
        return BenchFailed("idle", "cannot copy the programs into the bench folder");
    machine.Prepare(Scenario::StateThreeUserLevel);
    WindowProgram helper(kHelperWindow, "TorvexHelp");
    WindowProgram baseline(kBaselineWindow, "baseline");
    if (!helper.Start(machine.HelperExe()) || !baseline.Start(machine.BaselineExe()))
        return BenchFailed("idle", "a program did not start");
    ::Sleep(kIdleSettleMs); // start-up's own work is not idling
    std::vector<Span> spans;
    if (!MeasureIdle(helper, baseline, seconds, spans) || !MeasureBusy(helper, spans))
        return BenchFailed("idle", "a program did not answer, or its figures could not be read");
    helper.Quit();
    baseline.Quit();
    PrintTable(spans);
    PrintSummary(spans, seconds);
    return 0;
}
