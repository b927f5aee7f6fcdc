// Start-up: from process creation to a window that answers a message, for the program and for the
// minimal window program, started in turn.
#include "bench/Benches.h"
#include "bench/common/BenchMachine.h"
#include "bench/common/Clock.h"
#include "bench/common/Stats.h"
#include "bench/common/Table.h"
#include "tests/support/WindowProgram.h"
#include "tools/common/ToolArgs.h"

#include <cstdio>

namespace {

constexpr DWORD kStartupRounds = 25;

struct Starts {
    WindowProgram* program;
    std::string exe;
    std::vector<double> ms;
};

bool TimeOneStart(Starts& starts) {
    Stopwatch watch;
    if (!starts.program->Start(starts.exe))
        return false;
    starts.ms.push_back(watch.Milliseconds());
    // The helper runs once per logon: the next start needs this one gone.
    return starts.program->Quit();
}

bool MeasureRounds(Starts& helper, Starts& baseline, DWORD rounds) {
    for (DWORD round = 0; round < rounds; ++round) {
        Starts& first = round % 2 == 0 ? helper : baseline;
        Starts& second = round % 2 == 0 ? baseline : helper;
        if (!TimeOneStart(first) || !TimeOneStart(second))
            return false;
    }
    return true;
}

void Print(const Starts& helper, const Starts& baseline) {
    const Summary h = Summarise(helper.ms);
    const Summary b = Summarise(baseline.ms);
    std::printf("start-up: process creation to a window that answers, %lu starts each, in turn\n",
                static_cast<unsigned long>(h.count));
    Table table({"program", "median ms", "min ms", "max ms", "median x", "min x"}, 1);
    table.Add({"TorvexHelp", Format("%.1f", h.median), Format("%.1f", h.min), Format("%.1f", h.max),
               Format("%.2f", Ratio(h.median, b.median)), Format("%.2f", Ratio(h.min, b.min))});
    table.Add(
        {"baseline", Format("%.1f", b.median), Format("%.1f", b.min), Format("%.1f", b.max), "1.00", "1.00"});
    table.Print();
    // The fastest start is the one least disturbed by the rest of the machine.
    std::printf(
        "SUMMARY start-up: TorvexHelp median %.1f ms, baseline %.1f ms: %.2fx; fastest %.1f ms against "
        "%.1f ms: %.2fx (%+.1f ms)\n",
        h.median, b.median, Ratio(h.median, b.median), h.min, b.min, Ratio(h.min, b.min), h.min - b.min);
    std::fflush(stdout);
}

} // namespace

int RunStartup(int argc, char** argv) {
    const DWORD rounds = ToolArg(argc, argv, "--rounds", kStartupRounds);
    BenchMachine machine;
    if (!machine.IsReady())
        return BenchFailed("startup", "cannot copy the programs into the bench folder");
    machine.Prepare(Scenario::StateThreeUserLevel);
    WindowProgram helperProgram(kHelperWindow, "TorvexHelp");
    WindowProgram baselineProgram(kBaselineWindow, "baseline");
    Starts helper{&helperProgram, machine.HelperExe(), {}};
    Starts baseline{&baselineProgram, machine.BaselineExe(), {}};
    if (!MeasureRounds(helper, baseline, rounds))
        return BenchFailed("startup", "a program did not start, answer or end");
    Print(helper, baseline);
    return 0;
}
