// The benchmarks of the resident program, against a minimal window program run side by side:
//   TorvexBench latency   [--rounds N]            restore latency, states 1 and 3
//   TorvexBench work      [--relay-log PATH]      library calls and registry operations per cycle
//   TorvexBench footprint [--cycles N]            memory, handles, threads over many cycles
//   TorvexBench idle      [--seconds S]           CPU time while idle
//   TorvexBench startup   [--rounds N]            process start to window ready
// The programs are copied from this program's folder; the simulated library is set up by each run.
#include "bench/Benches.h"

#include <cstdio>
#include <cstring>

namespace {

struct Bench {
    const char* name;
    int (*run)(int argc, char** argv);
};

const Bench kBenches[] = {
    {"latency", RunLatency}, {"work", RunWork},       {"footprint", RunFootprint},
    {"idle", RunIdle},       {"startup", RunStartup},
};

} // namespace

std::string StringArg(int argc, char** argv, const char* name, const std::string& fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return argv[i + 1];
    }
    return fallback;
}

int BenchFailed(const char* bench, const std::string& what) {
    // On stdout: a benchmark's stderr may be a trace log.
    std::printf("%s: no figures: %s\n", bench, what.c_str());
    std::fflush(stdout);
    return 1;
}

int main(int argc, char** argv) {
    for (const Bench& bench : kBenches) {
        if (argc >= 2 && std::strcmp(argv[1], bench.name) == 0)
            return bench.run(argc, argv);
    }
    std::printf("usage: TorvexBench latency|work|footprint|idle|startup [options]\n");
    return 2;
}
