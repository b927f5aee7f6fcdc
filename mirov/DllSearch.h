#pragma once

#include "mirov/Path.h"

#include <windows.h>

namespace mirov {

// Takes the working folder and the folders on PATH out of the process's DLL search, for good: a DLL
// loaded by bare name then comes from the application's folder or the system folder. Where the system
// lacks the safe search (Windows 7 without its update), at least the working folder goes.
void RestrictDllSearch();

// Loads the library at the full path `path`; the DLLs it imports come from its own folder and the
// system folder only. Null on failure, with the system's error.
HMODULE LoadLibraryFromItsFolder(const WideString& path);

} // namespace mirov
