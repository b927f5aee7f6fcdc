#include "tests/unit/Probes.h"

#include "level/Veltra.h"
#include "mirov/Path.h"

#include "tools/common/ChildProcess.h"

#include <cstring>
#include <fstream>

int RunProbe(const char* name, const char* outputFile) {
    std::ofstream out(outputFile, std::ios::binary);
    if (std::strcmp(name, "exe-name") == 0) {
        out << mirov::GetExeFileName();
        return 0;
    }
    if (std::strcmp(name, "no-index") == 0) {
        Veltra::Instance();
        return 0;
    }
    Veltra::SetImpIndex(0);
    Veltra& veltra = Veltra::Instance();
    if (std::strcmp(name, "instance") == 0) {
        out << "supported=" << veltra.IsSupported();
        return 0;
    }
    if (std::strcmp(name, "level") == 0) {
        out << "level=" << veltra.GetLevel();
        return 0;
    }
    return 100;
}

ProbeOutcome RunProbeChild(const TestFolder& folder, const char* name) {
    const std::string exe = folder / "TorvexUnitTests.exe";
    ::CopyFileA((TestFolder::BinFolder() + "TorvexUnitTests.exe").c_str(), exe.c_str(), FALSE);
    ChildProcess child;
    if (!child.Start(exe, std::string("--probe ") + name + " \"" + (folder / "probe.out") + "\"",
                     folder.Path()))
        return {0xFFFFFFFF, {}};
    MessageBoxWatcher watcher(child.Pid());
    child.Wait(60000);
    return {child.ExitCode(), watcher.Boxes()};
}
