// Footprint of the running program: private bytes, working set, handles and threads after start and
// after many suspend/resume cycles, beside the minimal window program taken through the same cycles.
#include "bench/Benches.h"
#include "bench/common/BenchMachine.h"
#include "bench/common/Table.h"
#include "tests/support/WindowProgram.h"
#include "tools/common/ProcessFigures.h"
#include "tools/common/ToolArgs.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr DWORD kDefaultCycles = 10000;
constexpr DWORD kWarmCycles = 100;
constexpr DWORD kFootprintSettleMs = 500;
constexpr long long kPrivateGrowthGoal = 64 * 1024;

struct Reading {
    std::string when;
    ProcessFigures figures;
};

bool Read(const WindowProgram& program, const std::string& when, std::vector<Reading>& readings) {
    readings.push_back({when, {}});
    return ReadProcessFigures(program.Process().Handle(), program.Pid(), readings.back().figures);
}

bool RunCycles(const WindowProgram& program, DWORD cycles) {
    for (DWORD i = 0; i < cycles; ++i) {
        if (!program.Cycle())
            return false;
    }
    return true;
}

// Readings after start, after a few cycles and after all of them.
bool Measure(const WindowProgram& program, DWORD cycles, std::vector<Reading>& readings) {
    return Read(program, "after start", readings) && RunCycles(program, kWarmCycles) &&
           Read(program, Format("after %lu cycles", static_cast<unsigned long>(kWarmCycles)), readings) &&
           RunCycles(program, cycles - kWarmCycles) &&
           Read(program, Format("after %lu cycles", static_cast<unsigned long>(cycles)), readings);
}

long long Growth(SIZE_T after, SIZE_T before) {
    return static_cast<long long>(after) - static_cast<long long>(before);
}

void AddRows(Table& table, const std::string& program, const std::vector<Reading>& readings) {
    for (const Reading& r : readings)
        table.Add({program, r.when, Format("%.0f", r.figures.privateBytes / 1024.0),
                   Format("%.0f", r.figures.workingSet / 1024.0),
                   Format("%lu", static_cast<unsigned long>(r.figures.handles)),
                   Format("%lu", static_cast<unsigned long>(r.figures.threads))});
    const ProcessFigures& first = readings.front().figures;
    const ProcessFigures& last = readings.back().figures;
    table.Add({program, "growth", Format("%+.0f", Growth(last.privateBytes, first.privateBytes) / 1024.0),
               Format("%+.0f", Growth(last.workingSet, first.workingSet) / 1024.0),
               Format("%+lld", Growth(last.handles, first.handles)),
               Format("%+lld", Growth(last.threads, first.threads))});
}

void PrintSummary(const std::vector<Reading>& helper, DWORD cycles) {
    const ProcessFigures& first = helper.front().figures;
    const ProcessFigures& last = helper.back().figures;
    const long long privateGrowth = Growth(last.privateBytes, first.privateBytes);
    const long long handleGrowth = Growth(last.handles, first.handles);
    const long long threadGrowth = Growth(last.threads, first.threads);
    std::printf(
        "SUMMARY footprint (running): TorvexHelp private bytes %+.0f KB over %lu cycles (goal <= +64 KB: "
        "%s), "
        "handles %+lld, threads %+lld (goal no growth: %s); %lu KB private, %lu handles, %lu thread(s) "
        "after start\n",
        privateGrowth / 1024.0, static_cast<unsigned long>(cycles),
        privateGrowth <= kPrivateGrowthGoal ? "met" : "NOT met", handleGrowth, threadGrowth,
        handleGrowth <= 0 && threadGrowth <= 0 ? "met" : "NOT met",
        static_cast<unsigned long>(first.privateBytes / 1024), static_cast<unsigned long>(first.handles),
        static_cast<unsigned long>(first.threads));
    std::fflush(stdout);
}

void PrintSources(const ProcessFigures& figures) {
    if (figures.privateFromPagefile)
        std::printf(
            "(private bytes: PagefileUsage, the process's commit charge; PrivateUsage reads 0 here)\n");
    if (figures.handlesFromSystemTable)
        std::printf("(handles: the process's entries in the system handle table; GetProcessHandleCount reads "
                    "0 here)\n");
}

} // namespace

int RunFootprint(int argc, char** argv) {
    const DWORD cycles = std::max<DWORD>(ToolArg(argc, argv, "--cycles", kDefaultCycles), kWarmCycles);
    BenchMachine machine;
    if (!machine.IsReady())
        return BenchFailed("footprint", "cannot copy the programs into the bench folder");
    // The machine that does the most per cycle: every library step and a registry write per resume.
    machine.Prepare(Scenario::StateThreeUserLevel);
    WindowProgram helper(kHelperWindow, "TorvexHelp");
    WindowProgram baseline(kBaselineWindow, "baseline");
    if (!helper.Start(machine.HelperExe()) || !baseline.Start(machine.BaselineExe()))
        return BenchFailed("footprint", "a program did not start");
    ::Sleep(kFootprintSettleMs);
    std::vector<Reading> helperReadings;
    std::vector<Reading> baselineReadings;
    if (!Measure(helper, cycles, helperReadings) || !Measure(baseline, cycles, baselineReadings))
        return BenchFailed("footprint", "a program did not answer, or its figures could not be read");
    helper.Quit();
    baseline.Quit();
    std::printf("footprint of the running programs, %s\n", ScenarioLabel(Scenario::StateThreeUserLevel));
    Table table({"program", "when", "private KB", "working set KB", "handles", "threads"}, 2);
    AddRows(table, "TorvexHelp", helperReadings);
    AddRows(table, "baseline", baselineReadings);
    table.Print();
    PrintSources(helperReadings.front().figures);
    PrintSummary(helperReadings, cycles);
    return 0;
}
