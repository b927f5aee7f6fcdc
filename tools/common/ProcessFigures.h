#pragma once

#include <windows.h>

// What a running process costs, read from outside it.
struct ProcessFigures {
    SIZE_T privateBytes =
        0; // PrivateUsage; PagefileUsage (the same commit charge) where that is all there is
    SIZE_T workingSet = 0;
    DWORD handles = 0;        // GetProcessHandleCount; the system handle table where that answers nothing
    DWORD threads = 0;        // from a thread snapshot
    ULONGLONG processCpu = 0; // GetProcessTimes, kernel + user, in 100 ns units
    ULONGLONG threadCpu = 0;  // GetThreadTimes summed over the snapshot's threads, in 100 ns units
    bool privateFromPagefile = false;
    bool handlesFromSystemTable = false;
};

// False when the process cannot be asked (gone, or no access); `process` needs
// PROCESS_QUERY_INFORMATION and PROCESS_VM_READ.
bool ReadProcessFigures(HANDLE process, DWORD pid, ProcessFigures& figures);

// CPU time in milliseconds from 100 ns units.
inline double CpuMs(ULONGLONG units) {
    return static_cast<double>(units) / 10000.0;
}
