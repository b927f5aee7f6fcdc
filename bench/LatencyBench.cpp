// Restore latency: the round trip of a suspend and a resume sent to the running program, against the
// minimal window program answering at once and against the same program making the helper's library
// calls, all measured in turn within the same run. The figure that counts is the helper against the
// baseline making the same library calls: the simulated library's own cost is then on both sides.
#include "bench/Benches.h"
#include "bench/common/BenchMachine.h"
#include "bench/common/Clock.h"
#include "bench/common/Stats.h"
#include "bench/common/Table.h"
#include "tests/support/WindowProgram.h"
#include "tools/common/ToolArgs.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr DWORD kWarmUpCycles = 100;
constexpr DWORD kDefaultRounds = 4000;
// State 3 costs about ten times as much a cycle and has no goal: fewer rounds suffice.
constexpr DWORD kStateThreeShare = 8;
constexpr double kGoalRatio = 1.05;

struct Series {
    WindowProgram* program;
    std::vector<double> samples;
};

struct Result {
    Scenario scenario;
    std::string program;
    Summary summary;
    Summary baseline;
    double pairedRatio;   // median over the rounds of this program's time / the baseline's time
    double pairedToCalls; // the same against the baseline making the same library calls
};

// Each round's sample against the baseline's of the same round: a stretch of a busy machine slows
// both of a pair, so the ratio holds where the plain times do not.
double PairedRatio(const std::vector<double>& samples, const std::vector<double>& baseline) {
    std::vector<double> ratios;
    for (size_t i = 0; i < samples.size() && i < baseline.size(); ++i)
        ratios.push_back(Ratio(samples[i], baseline[i]));
    return Percentile(ratios, 0.5);
}

// A round runs one cycle of each program forward, then one backward, the start turned each round:
// none always goes first, and a machine that speeds up or slows down within the round does so for
// all alike. A program's sample of the round is the mean of its two cycles.
bool MeasureRound(std::vector<Series>& series, DWORD round) {
    const size_t count = series.size();
    std::vector<double> sums(count, 0);
    for (size_t step = 0; step < 2 * count; ++step) {
        const size_t k = step < count ? step : 2 * count - 1 - step;
        const size_t index = (round + k) % count;
        Stopwatch watch;
        if (!series[index].program->Cycle())
            return false;
        sums[index] += watch.Microseconds();
    }
    for (size_t i = 0; i < count; ++i)
        series[i].samples.push_back(sums[i] / 2);
    return true;
}

bool MeasureInterleaved(std::vector<Series>& series, DWORD rounds) {
    for (DWORD round = 0; round < rounds; ++round) {
        if (!MeasureRound(series, round))
            return false;
    }
    return true;
}

bool WarmUp(const std::vector<Series>& series) {
    for (const Series& one : series) {
        for (DWORD i = 0; i < kWarmUpCycles; ++i) {
            if (!one.program->Cycle())
                return false;
        }
    }
    return true;
}

// The programs of one machine: the helper, the baseline, and the baseline making the helper's library
// calls of that machine.
std::vector<std::unique_ptr<WindowProgram>> StartPrograms(const BenchMachine& machine, Scenario scenario) {
    std::vector<std::unique_ptr<WindowProgram>> programs;
    programs.push_back(std::make_unique<WindowProgram>(kHelperWindow, "TorvexHelp"));
    programs.push_back(std::make_unique<WindowProgram>(kBaselineWindow, "baseline: answers 0 at once"));
    programs.push_back(std::make_unique<WindowProgram>(kBaselineWindow, "baseline + the same library calls"));
    const char* calls = scenario == Scenario::StateOneLevelThree ? "--library" : "--library --user-level";
    const bool started = programs[0]->Start(machine.HelperExe()) &&
                         programs[1]->Start(machine.BaselineExe()) &&
                         programs[2]->Start(machine.BaselineExe(), calls);
    if (!started)
        programs.clear();
    return programs;
}

DWORD RoundsOf(Scenario scenario, DWORD rounds) {
    return scenario == Scenario::StateOneLevelThree ? rounds : rounds / kStateThreeShare;
}

bool MeasureScenario(BenchMachine& machine, Scenario scenario, DWORD rounds, std::vector<Result>& results) {
    machine.Prepare(scenario);
    auto programs = StartPrograms(machine, scenario);
    if (programs.empty())
        return false;
    std::vector<Series> series;
    for (auto& program : programs)
        series.push_back({program.get(), {}});
    if (!WarmUp(series) || !MeasureInterleaved(series, RoundsOf(scenario, rounds)))
        return false;
    const Summary baseline = Summarise(series[1].samples);
    const std::vector<double>& calls = series[2].samples;
    for (const Series& one : series)
        results.push_back({scenario, one.program->Label(), Summarise(one.samples), baseline,
                           PairedRatio(one.samples, series[1].samples), PairedRatio(one.samples, calls)});
    for (auto& program : programs)
        program->Quit();
    return true;
}

void PrintTable(const std::vector<Result>& results, DWORD rounds) {
    std::printf("restore latency: SendMessage(WM_POWERBROADCAST, 4) then (..., 7), two cycles of each "
                "program a round (in turn, then back), %lu rounds in state 1, %lu in state 3\n",
                static_cast<unsigned long>(RoundsOf(Scenario::StateOneLevelThree, rounds)),
                static_cast<unsigned long>(RoundsOf(Scenario::StateThreeUserLevel, rounds)));
    Table table(
        {"machine", "program", "median us", "p99 us", "median x", "p99 x", "paired x", "paired x calls"}, 2);
    for (const Result& r : results)
        table.Add({ScenarioLabel(r.scenario), r.program, Format("%.1f", r.summary.median),
                   Format("%.1f", r.summary.p99), Format("%.2f", Ratio(r.summary.median, r.baseline.median)),
                   Format("%.2f", Ratio(r.summary.p99, r.baseline.p99)), Format("%.2f", r.pairedRatio),
                   Format("%.3f", r.pairedToCalls)});
    std::printf("(us: a round's mean of two cycles; x: against the baseline answering at once; paired x: "
                "median of each round's ratio; paired x calls: the same against the baseline making the "
                "same library calls)\n");
    table.Print();
}

const Result* Find(const std::vector<Result>& results, Scenario scenario, const char* program) {
    for (const Result& r : results) {
        if (r.scenario == scenario && r.program.rfind(program, 0) == 0)
            return &r;
    }
    return nullptr;
}

void PrintSummary(const std::vector<Result>& results) {
    const Result* one = Find(results, Scenario::StateOneLevelThree, "TorvexHelp");
    const Result* three = Find(results, Scenario::StateThreeUserLevel, "TorvexHelp");
    // The paired median: a busy stretch of the machine slows both programs of a round alike.
    const double figure = one->pairedToCalls;
    std::printf("SUMMARY latency: state 1 paired %.3fx of the baseline making the same library calls "
                "(goal <= %.2fx: %s), state 3 %.3fx; against the baseline answering at once: state 1 "
                "paired %.2fx, state 3 %.2fx\n",
                figure, kGoalRatio, figure <= kGoalRatio ? "met" : "NOT met", three->pairedToCalls,
                one->pairedRatio, three->pairedRatio);
    std::fflush(stdout);
}

} // namespace

int RunLatency(int argc, char** argv) {
    const DWORD rounds = ToolArg(argc, argv, "--rounds", kDefaultRounds);
    BenchMachine machine;
    if (!machine.IsReady())
        return BenchFailed("latency", "cannot copy the programs into the bench folder");
    std::vector<Result> results;
    for (Scenario scenario : {Scenario::StateOneLevelThree, Scenario::StateThreeUserLevel}) {
        if (!MeasureScenario(machine, scenario, rounds, results))
            return BenchFailed("latency", std::string("a program did not start or answer in ") +
                                              ScenarioLabel(scenario));
    }
    PrintTable(results, rounds);
    PrintSummary(results);
    return 0;
}
