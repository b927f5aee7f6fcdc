#pragma once

#include <windows.h>

namespace mirov {

// An entry point of `module` looked up by name at run time, typed as the caller declares it; null
// when the module is null or lacks the name. Inline on purpose: the lookup then goes through the
// calling module's own import of GetProcAddress.
template <typename Fn> Fn Lookup(HMODULE module, const char* name) {
    if (!module)
        return nullptr;
    // Through void(*)(): the one function pointer type a cast from FARPROC may pass without a warning.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

} // namespace mirov
