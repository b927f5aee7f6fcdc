// A DLL of the simulated library's own, as a vendor library may ship beside itself; built as
// TorvexDep.dll (imported by TorvexDependent.dll) and as TorvexPlug.dll (loaded by it by bare name).
// It journals the file it was loaded from ("Loaded(<path>)"), so a test sees which copy the system
// chose.
#include "sim/torvex/SimConfig.h"

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH * 4] = {};
        ::GetModuleFileNameA(self, path, sizeof path - 1);
        SimConfig::Journal(std::string("Loaded(") + path + ")");
    }
    return TRUE;
}

// What the importing library calls, so that the import stays. Plain C calling convention: the
// 32-bit name is undecorated without a .def file.
extern "C" __declspec(dllexport) int TorvexDependencyMarker() {
    return 1;
}
