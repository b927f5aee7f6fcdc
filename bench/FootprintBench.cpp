// Footprint of the running program: private bytes, working set, handles and threads after start, after
// a warm-up and after many suspend/resume cycles, beside the minimal window program making the same
// library calls, taken through the same cycles. Growth is judged after the warm-up: what a program
// opens once at first use and keeps (the simulated library its keys and journal) is no growth.
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
// The baseline makes the helper's library calls of the machine measured, so that what the library
// itself holds shows on both sides.
constexpr char kSameLibraryCalls[] = "--library --user-level";

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

// Readings after start, after the warm-up and after all the cycles.
bool Measure(const WindowProgram& program, DWORD cycles, std::vector<Reading>& readings) {
    return Read(program, "after start", readings) && RunCycles(program, kWarmCycles) &&
           Read(program, Format("after %lu cycles", static_cast<unsigned long>(kWarmCycles)), readings) &&
           RunCycles(program, cycles - kWarmCycles) &&
           Read(program, Format("after %lu cycles", static_cast<unsigned long>(cycles)), readings);
}

struct Growth {
    long long privateBytes;
    long long workingSet;
    long long handles;
    long long threads;
};

long long Difference(SIZE_T after, SIZE_T before) {
    return static_cast<long long>(after) - static_cast<long long>(before);
}

double Kilobytes(long long bytes) {
    return static_cast<double>(bytes) / 1024.0;
}

Growth Between(const ProcessFigures& before, const ProcessFigures& after) {
    return {Difference(after.privateBytes, before.privateBytes),
            Difference(after.workingSet, before.workingSet), Difference(after.handles, before.handles),
            Difference(after.threads, before.threads)};
}

// The readings are: after start, after the warm-up, after all cycles.
Growth InWarmUp(const std::vector<Reading>& readings) {
    return Between(readings[0].figures, readings[1].figures);
}

Growth AfterWarmUp(const std::vector<Reading>& readings) {
    return Between(readings[1].figures, readings.back().figures);
}

void AddGrowthRow(Table& table, const std::string& program, const std::string& when, const Growth& growth) {
    table.Add({program, when, Format("%+.0f", Kilobytes(growth.privateBytes)),
               Format("%+.0f", Kilobytes(growth.workingSet)), Format("%+lld", growth.handles),
               Format("%+lld", growth.threads)});
}

void AddRows(Table& table, const std::string& program, const std::vector<Reading>& readings) {
    for (const Reading& r : readings)
        table.Add({program, r.when, Format("%.0f", r.figures.privateBytes / 1024.0),
                   Format("%.0f", r.figures.workingSet / 1024.0),
                   Format("%lu", static_cast<unsigned long>(r.figures.handles)),
                   Format("%lu", static_cast<unsigned long>(r.figures.threads))});
    AddGrowthRow(table, program, "growth in the warm-up", InWarmUp(readings));
    AddGrowthRow(table, program, "growth after the warm-up", AfterWarmUp(readings));
}

void PrintSummary(const std::vector<Reading>& helper, const std::vector<Reading>& baseline, DWORD cycles) {
    const ProcessFigures& first = helper.front().figures;
    const Growth after = AfterWarmUp(helper);
    const Growth warmUp = InWarmUp(helper);
    std::printf(
        "SUMMARY footprint (running): TorvexHelp over %lu cycles after a warm-up of %lu: private bytes %+.0f "
        "KB (goal <= +64 KB: %s), handles %+lld, threads %+lld (goal no growth: %s); in the warm-up "
        "%+.0f KB, handles %+lld (the baseline making the same library calls %+lld), threads %+lld; %lu KB "
        "private, %lu handles, %lu thread(s) after start\n",
        static_cast<unsigned long>(cycles - kWarmCycles), static_cast<unsigned long>(kWarmCycles),
        Kilobytes(after.privateBytes), after.privateBytes <= kPrivateGrowthGoal ? "met" : "NOT met",
        after.handles, after.threads, after.handles <= 0 && after.threads <= 0 ? "met" : "NOT met",
        Kilobytes(warmUp.privateBytes), warmUp.handles, InWarmUp(baseline).handles, warmUp.threads,
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
    WindowProgram baseline(kBaselineWindow, "baseline + the same library calls");
    if (!helper.Start(machine.HelperExe()) || !baseline.Start(machine.BaselineExe(), kSameLibraryCalls))
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
    AddRows(table, "baseline + calls", baselineReadings);
    table.Print();
    PrintSources(helperReadings.front().figures);
    PrintSummary(helperReadings, baselineReadings, cycles);
    return 0;
}
