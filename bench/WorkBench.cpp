// Work per restore: the vendor-library calls (from the simulated library's journal) and the registry
// operations (from Wine's relay trace, counting only calls made from the executable's own image) of
// start-up and of each suspend and resume, against what the behaviour requires.
#include "bench/Benches.h"
#include "bench/common/BenchMachine.h"
#include "bench/common/FileTail.h"
#include "bench/common/Table.h"
#include "mirov/Handles.h"
#include "tests/support/SavedRegistryValues.h"
#include "tests/support/WindowProgram.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr int kCycles = 3;
constexpr char kWineDebugKey[] = "Software\\Wine\\Debug";

enum Kind { kOpen, kRead, kWrite, kClose, kTimer, kThread, kKindCount };

struct KindNames {
    Kind kind;
    std::vector<const char*> names;
};

// What the relay trace counts: registry operations by kind, and what would make the program wake
// up by itself (timers) or run more than its one thread.
const KindNames kCounted[] = {
    {kOpen,
     {"RegOpenKeyExA", "RegOpenKeyExW", "RegOpenKeyA", "RegOpenKeyW", "RegCreateKeyExA", "RegCreateKeyExW",
      "RegCreateKeyA", "RegCreateKeyW"}},
    {kRead,
     {"RegQueryValueExA", "RegQueryValueExW", "RegQueryValueA", "RegQueryValueW", "RegGetValueA",
      "RegGetValueW", "RegQueryInfoKeyA", "RegQueryInfoKeyW", "RegEnumValueA", "RegEnumValueW",
      "RegEnumKeyExA", "RegEnumKeyExW"}},
    {kWrite,
     {"RegSetValueExA", "RegSetValueExW", "RegSetValueA", "RegSetValueW", "RegSetKeyValueA",
      "RegSetKeyValueW", "RegDeleteValueA", "RegDeleteValueW", "RegDeleteKeyA", "RegDeleteKeyW",
      "RegDeleteKeyExA", "RegDeleteKeyExW", "RegDeleteTreeA", "RegDeleteTreeW", "RegDeleteKeyValueA",
      "RegDeleteKeyValueW"}},
    {kClose, {"RegCloseKey"}},
    {kTimer,
     {"SetTimer", "SetCoalescableTimer", "SetWaitableTimer", "SetWaitableTimerEx", "CreateTimerQueueTimer",
      "timeSetEvent", "CreateWaitableTimerA", "CreateWaitableTimerW", "CreateWaitableTimerExA",
      "CreateWaitableTimerExW"}},
    {kThread,
     {"CreateThread", "CreateRemoteThread", "CreateRemoteThreadEx", "_beginthreadex", "_beginthread"}},
};

struct Work {
    std::map<std::string, int> calls; // library calls by export name
    int counts[kKindCount] = {};

    int LibraryCalls() const {
        int total = 0;
        for (const auto& call : calls)
            total += call.second;
        return total;
    }
};

struct Step {
    std::string name;
    Work actual;
    Work required;
    std::vector<std::string> sequence; // the journal lines, in order
};

Step MakeStep(std::string name, Work required) {
    Step step;
    step.name = std::move(name);
    step.required = std::move(required);
    return step;
}

struct ModuleRange {
    ULONGLONG begin = 0;
    ULONGLONG end = 0;
    bool Contains(ULONGLONG address) const { return address >= begin && address < end; }
};

// ---- what the behaviour requires ----

Work StartUpRequired() {
    // Initialise, classify support (report, capability item known and read), the thermostat question.
    return {{{"TorvexInit", 1},
             {"TorvexIsSupport", 1},
             {"IsItemSupported", 1},
             {"TorvexGetItem", 1},
             {"IsThermostatSupported", 1}},
            {}};
}

Work SuspendRequired() {
    return {{{"TorvexGetLevel", 1}}, {}};
}

// Each registry open also asks the key's information twice (the accessor's two enumeration objects).
void AddRegistryOpen(Work& work, int valueReads) {
    work.counts[kOpen] += 1;
    work.counts[kRead] += 2 + valueReads;
    work.counts[kClose] += 1;
}

Work ResumeRequired(Scenario scenario, bool first) {
    if (scenario == Scenario::StateOneLevelThree)
        return {{{"TorvexGetLevel", 1}, {"TorvexSetLevel", 1}},
                {}}; // the read feeds the rule for levels above 255
    // The facade's read, the feature switch read, the six-threshold question before and after the
    // switch, six threshold writes, the switch, and "LastMode" written through a key opened with creation.
    Work work{{{"TorvexGetLevel", 1},
               {"TorvexGetItem", 1},
               {"IsItemSupported", 6},
               {"TorvexSetItem", 6},
               {"TorvexSetLevel", 1}},
              {}};
    AddRegistryOpen(work, 0);
    work.counts[kWrite] += 1;
    if (first) {
        // The feature is off at first; the threshold store is created on first use: sized by the
        // same question, loaded (six values), and the reset item read.
        work.calls["TorvexSetItem"] += 1;
        work.calls["IsItemSupported"] += 3;
        work.calls["TorvexGetItem"] += 1;
        AddRegistryOpen(work, 6);
    }
    return work;
}

// ---- what the program did ----

bool FindModule(DWORD pid, const char* name, ModuleRange& range) {
    mirov::UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
    if (!snapshot)
        return false;
    MODULEENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Module32First(snapshot.Get(), &entry); more;
         more = ::Module32Next(snapshot.Get(), &entry)) {
        if (lstrcmpiA(entry.szModule, name) == 0) {
            range.begin = reinterpret_cast<ULONGLONG>(entry.modBaseAddr);
            range.end = range.begin + entry.modBaseSize;
            return true;
        }
    }
    return false;
}

// "0024:Call advapi32.RegOpenKeyExA(...) ret=1400060b9": the function and the return address.
bool ParseRelayCall(const std::string& line, std::string& function, ULONGLONG& returnAddress) {
    const size_t call = line.find(":Call ");
    const size_t open = line.find('(', call);
    if (call == std::string::npos || open == std::string::npos)
        return false;
    const std::string name = line.substr(call + 6, open - call - 6);
    const size_t dot = name.rfind('.');
    const size_t ret = line.rfind(" ret=");
    if (dot == std::string::npos || name.find(' ') != std::string::npos || ret == std::string::npos)
        return false;
    function = name.substr(dot + 1);
    returnAddress = std::strtoull(line.c_str() + ret + 5, nullptr, 16);
    return true;
}

void CountRelayLine(const std::string& line, const ModuleRange& image, Work& work) {
    std::string function;
    ULONGLONG returnAddress = 0;
    // Calls of the simulated library (which keeps its own state in the registry) and of Windows'
    // own DLLs return elsewhere.
    if (!ParseRelayCall(line, function, returnAddress) || !image.Contains(returnAddress))
        return;
    for (const KindNames& kind : kCounted) {
        for (const char* name : kind.names) {
            if (function == name)
                ++work.counts[kind.kind];
        }
    }
}

// The journal's "TorvexGetLevel(&3) = 1": the export's name.
std::string CallName(const std::string& line) {
    return line.substr(0, line.find('('));
}

struct Observer {
    FileTail journal;
    FileTail relay;
    ModuleRange image;

    void Collect(Step& step) {
        for (const std::string& line : journal.NewLines()) {
            ++step.actual.calls[CallName(line)];
            step.sequence.push_back(line);
        }
        for (const std::string& line : relay.NewLines())
            CountRelayLine(line, image, step.actual);
    }
};

// ---- the run ----

// Relay tracing of the counted functions only, for the programs started while the object lives.
class RelayTrace {
public:
    RelayTrace() : m_saved(HKEY_CURRENT_USER, kWineDebugKey, {"RelayInclude"}) {
        std::string include;
        for (const KindNames& kind : kCounted) {
            for (const char* name : kind.names)
                include += std::string(include.empty() ? "" : ";") + name;
        }
        ::RegSetKeyValueA(HKEY_CURRENT_USER, kWineDebugKey, "RelayInclude", REG_SZ, include.c_str(),
                          static_cast<DWORD>(include.size() + 1));
    }

    // Starts the program with relay tracing; its trace goes where this process's standard error goes.
    static bool Start(WindowProgram& program, const std::string& exe) {
        char saved[256] = {};
        const DWORD length = ::GetEnvironmentVariableA("WINEDEBUG", saved, sizeof saved);
        ::SetEnvironmentVariableA("WINEDEBUG", "-all,+relay");
        const bool started = program.Start(exe);
        ::SetEnvironmentVariableA("WINEDEBUG", length > 0 && length < sizeof saved ? saved : nullptr);
        return started;
    }

private:
    SavedRegistryValues m_saved;
};

bool RunScenario(BenchMachine& machine, Scenario scenario, const std::string& relayLog,
                 std::vector<Step>& steps) {
    machine.Prepare(scenario);
    Observer observer{FileTail(machine.JournalPath()), FileTail(relayLog), {}};
    observer.relay.SkipToEnd();
    WindowProgram helper(kHelperWindow, "TorvexHelp");
    const bool traced = !relayLog.empty();
    if (!(traced ? RelayTrace::Start(helper, machine.HelperExe()) : helper.Start(machine.HelperExe())))
        return false;
    if (traced && !FindModule(helper.Pid(), "TorvexHelp.exe", observer.image))
        return false;
    steps.push_back(MakeStep("start-up", StartUpRequired()));
    observer.Collect(steps.back());
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        steps.push_back(MakeStep(Format("suspend %d", cycle), SuspendRequired()));
        if (!helper.Send(WM_POWERBROADCAST, PBT_APMSUSPEND))
            return false;
        observer.Collect(steps.back());
        steps.push_back(MakeStep(Format("resume %d", cycle), ResumeRequired(scenario, cycle == 1)));
        if (!helper.Send(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND))
            return false;
        observer.Collect(steps.back());
    }
    return helper.Quit();
}

// ---- the report ----

// Calls and registry operations beyond the requirement, and those missing from it.
void Deviation(const Step& step, bool traced, int& extra, int& missing) {
    extra = missing = 0;
    const auto add = [&](int actual, int required) {
        (actual > required ? extra : missing) += actual > required ? actual - required : required - actual;
    };
    std::map<std::string, int> names = step.required.calls;
    for (const auto& call : step.actual.calls)
        names[call.first] += 0;
    for (const auto& name : names) {
        const auto actual = step.actual.calls.find(name.first);
        const auto required = step.required.calls.find(name.first);
        add(actual == step.actual.calls.end() ? 0 : actual->second,
            required == step.required.calls.end() ? 0 : required->second);
    }
    for (int kind = kOpen; traced && kind <= kClose; ++kind)
        add(step.actual.counts[kind], step.required.counts[kind]);
}

std::string Pair(int actual, int required) {
    return actual == required ? Format("%d", actual) : Format("%d (%d)", actual, required);
}

std::string RegistryCell(const Step& step, Kind kind, bool traced) {
    return traced ? Pair(step.actual.counts[kind], step.required.counts[kind]) : "n/a";
}

std::string Verdict(const Step& step, bool traced) {
    int extra = 0;
    int missing = 0;
    Deviation(step, traced, extra, missing);
    return extra == 0 && missing == 0 ? "as required" : Format("%d extra, %d missing", extra, missing);
}

void PrintSteps(Scenario scenario, const std::vector<Step>& steps, bool traced, Table& table) {
    for (const Step& step : steps)
        table.Add({ScenarioLabel(scenario), step.name,
                   Pair(step.actual.LibraryCalls(), step.required.LibraryCalls()),
                   RegistryCell(step, kOpen, traced), RegistryCell(step, kRead, traced),
                   RegistryCell(step, kWrite, traced), RegistryCell(step, kClose, traced),
                   traced ? Format("%d", step.actual.counts[kTimer]) : "n/a",
                   traced ? Format("%d", step.actual.counts[kThread]) : "n/a", Verdict(step, traced)});
}

void PrintSequence(const std::vector<Step>& steps) {
    std::printf("\nlibrary calls of the last resume, state 3, in order\n");
    Table table({"#", "call"}, 2);
    int number = 0;
    for (const std::string& line : steps.back().sequence)
        table.Add({Format("%d", ++number), line});
    table.Print();
}

struct Totals {
    int calls = 0;
    int opens = 0;
    int writes = 0;
    int deviating = 0; // steps that did more or less than required
    int timers = 0;
    int threads = 0;
};

// The steady cycle's figures (the last suspend and resume) and, over every step, deviations and
// timers or threads created.
Totals Tally(const std::vector<Step>& steps, bool traced) {
    Totals totals;
    for (size_t i = steps.size() - 2; i < steps.size(); ++i) {
        totals.calls += steps[i].actual.LibraryCalls();
        totals.opens += steps[i].actual.counts[kOpen];
        totals.writes += steps[i].actual.counts[kWrite];
    }
    for (const Step& step : steps) {
        totals.deviating += Verdict(step, traced) == "as required" ? 0 : 1;
        totals.timers += step.actual.counts[kTimer];
        totals.threads += step.actual.counts[kThread];
    }
    return totals;
}

std::string RegistryFigures(const Totals& totals, bool traced) {
    return traced ? Format("%d registry opens, %d writes", totals.opens, totals.writes)
                  : "registry not counted";
}

void PrintSummary(const Totals& one, const Totals& three, bool traced) {
    const bool exact = one.deviating == 0 && three.deviating == 0;
    std::printf("SUMMARY work: per later cycle state 1: %d library calls, %s; state 3: %d calls, %s; "
                "nothing beyond the behaviour: %s; timers created %s, threads created %s\n",
                one.calls, RegistryFigures(one, traced).c_str(), three.calls,
                RegistryFigures(three, traced).c_str(), exact ? "met" : "NOT met",
                traced ? Format("%d", one.timers + three.timers).c_str() : "n/a",
                traced ? Format("%d", one.threads + three.threads).c_str() : "n/a");
    std::fflush(stdout);
}

} // namespace

int RunWork(int argc, char** argv) {
    // Wine's relay trace of the helper lands in this process's standard error: the caller sends it to
    // this file. Without one (on Windows) the registry is not counted.
    const std::string relayLog = StringArg(argc, argv, "--relay-log", "");
    const bool traced = !relayLog.empty();
    BenchMachine machine;
    if (!machine.IsReady())
        return BenchFailed("work", "cannot copy the programs into the bench folder");
    std::unique_ptr<RelayTrace> relay(traced ? new RelayTrace() : nullptr);
    std::vector<Step> one;
    std::vector<Step> three;
    if (!RunScenario(machine, Scenario::StateOneLevelThree, relayLog, one) ||
        !RunScenario(machine, Scenario::StateThreeUserLevel, relayLog, three))
        return BenchFailed("work", "the helper did not start, answer or end");
    std::printf("work per step: actual (required when different); registry and timer/thread counts are calls "
                "made from TorvexHelp.exe's own image\n");
    Table table({"machine", "step", "library calls", "reg opens", "reg reads", "reg writes", "reg closes",
                 "timers", "threads", "verdict"},
                2);
    PrintSteps(Scenario::StateOneLevelThree, one, traced, table);
    PrintSteps(Scenario::StateThreeUserLevel, three, traced, table);
    table.Print();
    PrintSequence(three);
    PrintSummary(Tally(one, traced), Tally(three, traced), traced);
    return 0;
}
