#pragma once

#include <string>

// The benchmarks of TorvexBench.exe. Each prints its figures as a table and ends with one summary
// line; the result is 0 when the figures could be taken (whatever they are), 1 when not.
int RunLatency(int argc, char** argv);
int RunWork(int argc, char** argv);
int RunFootprint(int argc, char** argv);
int RunIdle(int argc, char** argv);
int RunStartup(int argc, char** argv);

// "--name value" from the command line, or the fallback.
std::string StringArg(int argc, char** argv, const char* name, const std::string& fallback);
// Prints why a benchmark could not take its figures; the benchmark's result.
int BenchFailed(const char* bench, const std::string& what);
