// Restore latency: the round trip of a suspend and a resume sent to the running program, against the
// minimal window program answering at once and against the same program making the helper's library
// calls, all measured in turn within the same run. The figure that counts is the helper against the
// baseline making the same library calls: the simulated library's own cost is then on both sides.
// The rounds are split into blocks, each with all programs started anew, and the figure is the median
// over the blocks, with the lowest and highest block beside it.
#include "bench/Benches.h"
#include "bench/common/BenchMachine.h"
#include "bench/common/Clock.h"
#include "bench/common/Stats.h"
#include "bench/common/Table.h"
#include "tests/support/WindowProgram.h"
#include "tools/common/ToolArgs.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr DWORD kWarmUpCycles = 100;
constexpr DWORD kLatencyRounds = 4000;
// Each block starts all three programs anew: a process can run slow or fast for its whole life here,
// which pairing rounds cannot remove, since every round of a block pairs the same processes.
constexpr DWORD kDefaultBlocks = 5;
// State 3 costs about ten times as much a cycle and has no goal: fewer rounds suffice.
constexpr DWORD kStateThreeShare = 8;
constexpr double kGoalRatio = 1.05;
constexpr size_t kBaseline = 1;
constexpr size_t kBaselineCalls = 2;

struct Series {
    WindowProgram* program;
    std::vector<double> samples;
};

// One program's figures in one machine, over all blocks.
struct Result {
    Scenario scenario;
    std::string program;
    std::vector<double> samples;    // every round of every block
    std::vector<double> toBaseline; // per block: median of the rounds' ratios to the baseline
    std::vector<double> toCalls;    // the same against the baseline making the same library calls
};

double Median(const std::vector<double>& values) {
    return Percentile(values, 0.5);
}

double Lowest(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

double Highest(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// Each round's sample against the baseline's of the same round: a stretch of a busy machine slows
// both of a pair, so the ratio holds where the plain times do not.
double PairedRatio(const std::vector<double>& samples, const std::vector<double>& baseline) {
    std::vector<double> ratios;
    for (size_t i = 0; i < samples.size() && i < baseline.size(); ++i)
        ratios.push_back(Ratio(samples[i], baseline[i]));
    return Median(ratios);
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

// The programs of one machine, in this order: the helper, the baseline, and the baseline making the
// helper's library calls of that machine. They are started in turn, the first turned each block.
std::vector<std::unique_ptr<WindowProgram>> StartPrograms(const BenchMachine& machine, Scenario scenario,
                                                          DWORD block) {
    std::vector<std::unique_ptr<WindowProgram>> programs;
    programs.push_back(std::make_unique<WindowProgram>(kHelperWindow, "TorvexHelp"));
    programs.push_back(std::make_unique<WindowProgram>(kBaselineWindow, "baseline: answers 0 at once"));
    programs.push_back(std::make_unique<WindowProgram>(kBaselineWindow, "baseline + the same library calls"));
    const std::string exes[] = {machine.HelperExe(), machine.BaselineExe(), machine.BaselineExe()};
    const char* calls = scenario == Scenario::StateOneLevelThree ? "--library" : "--library --user-level";
    const std::string arguments[] = {"", "", calls};
    for (size_t i = 0; i < programs.size(); ++i) {
        const size_t index = (block + i) % programs.size();
        if (!programs[index]->Start(exes[index], arguments[index]))
            return {};
    }
    return programs;
}

DWORD RoundsOf(Scenario scenario, DWORD rounds) {
    return scenario == Scenario::StateOneLevelThree ? rounds : rounds / kStateThreeShare;
}

DWORD RoundsPerBlock(Scenario scenario, DWORD rounds, DWORD blocks) {
    return std::max<DWORD>(1, RoundsOf(scenario, rounds) / blocks);
}

void AddBlock(const std::vector<Series>& series, std::vector<Result>& results) {
    for (size_t i = 0; i < series.size(); ++i) {
        const std::vector<double>& samples = series[i].samples;
        results[i].samples.insert(results[i].samples.end(), samples.begin(), samples.end());
        results[i].toBaseline.push_back(PairedRatio(samples, series[kBaseline].samples));
        results[i].toCalls.push_back(PairedRatio(samples, series[kBaselineCalls].samples));
    }
}

bool MeasureBlock(BenchMachine& machine, Scenario scenario, DWORD block, DWORD rounds,
                  std::vector<Result>& results) {
    machine.Prepare(scenario);
    auto programs = StartPrograms(machine, scenario, block);
    if (programs.empty())
        return false;
    std::vector<Series> series;
    for (auto& program : programs)
        series.push_back({program.get(), {}});
    if (!WarmUp(series) || !MeasureInterleaved(series, rounds))
        return false;
    if (results.empty()) {
        for (const Series& one : series)
            results.push_back({scenario, one.program->Label(), {}, {}, {}});
    }
    AddBlock(series, results);
    for (auto& program : programs)
        program->Quit();
    return true;
}

bool MeasureScenario(BenchMachine& machine, Scenario scenario, DWORD rounds, DWORD blocks,
                     std::vector<Result>& results) {
    std::vector<Result> scenarioResults;
    for (DWORD block = 0; block < blocks; ++block) {
        if (!MeasureBlock(machine, scenario, block, RoundsPerBlock(scenario, rounds, blocks),
                          scenarioResults))
            return false;
    }
    results.insert(results.end(), scenarioResults.begin(), scenarioResults.end());
    return true;
}

const Result* Find(const std::vector<Result>& results, Scenario scenario, const char* program) {
    for (const Result& r : results) {
        if (r.scenario == scenario && r.program.rfind(program, 0) == 0)
            return &r;
    }
    return nullptr;
}

std::string Figures(const std::vector<double>& values) {
    std::string text;
    for (double value : values)
        text += Format(" %.3f", value);
    return text;
}

void PrintTable(const std::vector<Result>& results, DWORD rounds, DWORD blocks) {
    std::printf("restore latency: SendMessage(WM_POWERBROADCAST, 4) then (..., 7), two cycles of each "
                "program a round (in turn, then back); %lu blocks, each with the programs started anew, "
                "of %lu rounds in state 1 and %lu in state 3\n",
                static_cast<unsigned long>(blocks),
                static_cast<unsigned long>(RoundsPerBlock(Scenario::StateOneLevelThree, rounds, blocks)),
                static_cast<unsigned long>(RoundsPerBlock(Scenario::StateThreeUserLevel, rounds, blocks)));
    Table table({"machine", "program", "median us", "p99 us", "median x", "p99 x", "paired x",
                 "paired x calls", "lowest", "highest"},
                2);
    for (const Result& r : results) {
        const Summary summary = Summarise(r.samples);
        const Summary baseline = Summarise(Find(results, r.scenario, "baseline: ")->samples);
        table.Add({ScenarioLabel(r.scenario), r.program, Format("%.1f", summary.median),
                   Format("%.1f", summary.p99), Format("%.2f", Ratio(summary.median, baseline.median)),
                   Format("%.2f", Ratio(summary.p99, baseline.p99)), Format("%.2f", Median(r.toBaseline)),
                   Format("%.3f", Median(r.toCalls)), Format("%.3f", Lowest(r.toCalls)),
                   Format("%.3f", Highest(r.toCalls))});
    }
    std::printf("(us: a round's mean of two cycles, all blocks; x: against the baseline answering at once; "
                "paired x: median over the blocks of each block's median of the rounds' ratios; paired x "
                "calls: the same against the baseline making the same library calls, with its lowest and "
                "highest block)\n");
    table.Print();
    for (Scenario scenario : {Scenario::StateOneLevelThree, Scenario::StateThreeUserLevel})
        std::printf("%s, TorvexHelp paired x calls by block:%s\n", ScenarioLabel(scenario),
                    Figures(Find(results, scenario, "TorvexHelp")->toCalls).c_str());
}

void PrintSummary(const std::vector<Result>& results) {
    const Result* one = Find(results, Scenario::StateOneLevelThree, "TorvexHelp");
    const Result* three = Find(results, Scenario::StateThreeUserLevel, "TorvexHelp");
    // The median over blocks: a block whose helper or baseline ran slow for its whole life drops out.
    const double figure = Median(one->toCalls);
    std::printf("SUMMARY latency: state 1 paired %.3fx of the baseline making the same library calls "
                "(goal <= %.2fx: %s; blocks %.3f to %.3f), state 3 %.3fx (blocks %.3f to %.3f); against "
                "the baseline answering at once: state 1 paired %.2fx, state 3 %.2fx\n",
                figure, kGoalRatio, figure <= kGoalRatio ? "met" : "NOT met", Lowest(one->toCalls),
                Highest(one->toCalls), Median(three->toCalls), Lowest(three->toCalls),
                Highest(three->toCalls), Median(one->toBaseline), Median(three->toBaseline));
    std::fflush(stdout);
}

} // namespace

int RunLatency(int argc, char** argv) {
    const DWORD rounds = ToolArg(argc, argv, "--rounds", kLatencyRounds);
    const DWORD blocks = std::max<DWORD>(1, ToolArg(argc, argv, "--blocks", kDefaultBlocks));
    BenchMachine machine;
    if (!machine.IsReady())
        return BenchFailed("latency", "cannot copy the programs into the bench folder");
    std::vector<Result> results;
    for (Scenario scenario : {Scenario::StateOneLevelThree, Scenario::StateThreeUserLevel}) {
        if (!MeasureScenario(machine, scenario, rounds, blocks, results))
            return BenchFailed("latency", std::string("a program did not start or answer in ") +
                                              ScenarioLabel(scenario));
    }
    PrintTable(results, rounds, blocks);
    PrintSummary(results);
    return 0;
}
