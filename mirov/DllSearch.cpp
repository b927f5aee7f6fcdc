#include "mirov/DllSearch.h"

#include "mirov/Lookup.h"

namespace mirov {
namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD flags);

// Looked up, not imported: Windows 7 has it only with its update, and an import would stop the
// program from starting at all there.
SetDefaultDllDirectoriesFn FindSetDefaultDllDirectories() {
    return Lookup<SetDefaultDllDirectoriesFn>(::GetModuleHandleW(L"kernel32.dll"),
                                              "SetDefaultDllDirectories");
}

} // namespace

void RestrictDllSearch() {
    const SetDefaultDllDirectoriesFn setDefault = FindSetDefaultDllDirectories();
    // The application's folder stays: the vendor library lies there and may load its own DLLs by name.
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    ::SetDllDirectoryW(L"");
}

HMODULE LoadLibraryFromItsFolder(const WideString& path) {
    // The search flags exist exactly where SetDefaultDllDirectories does.
    if (FindSetDefaultDllDirectories())
        return ::LoadLibraryExW(path.c_str(), nullptr,
                                LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Its folder first, then the usual order, without the working folder once RestrictDllSearch ran.
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace mirov
