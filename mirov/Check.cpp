#include "mirov/Check.h"

#include "mirov/Path.h"

#include <windows.h>

namespace mirov {
namespace {

constexpr size_t kMessageCut = 245;

BOOL CALLBACK StopAtFirstWindow(HWND, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

bool ThreadHasWindow() {
    bool found = false;
    ::EnumThreadWindows(::GetCurrentThreadId(), StopAtFirstWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

UINT CheckBoxStyle() {
    const bool isNt = (::GetVersion() & 0x80000000u) == 0;
    const UINT modality = isNt || ThreadHasWindow() ? MB_TASKMODAL : MB_SYSTEMMODAL;
    return MB_ICONERROR | MB_SETFOREGROUND | modality;
}

} // namespace

std::string CheckMessage(const char* expression, const char* file, int line) {
    std::string text = std::string("Assertion failed: ") + expression + ", file " + file + ", line ";
    if (text.size() > kMessageCut)
        text.resize(kMessageCut);
    return text + std::to_string(line);
}

void CheckFailed(const char* expression, const char* file, int line) {
    const std::string caption = ExtractFileName(GetExeFileName());
    const UINT style = CheckBoxStyle();
    ::MessageBoxA(nullptr, CheckMessage(expression, file, line).c_str(), caption.c_str(), style);
    ::MessageBoxA(nullptr, "Abnormal program termination", caption.c_str(), style);
    // At once: no message handling and no destruction of the program's objects.
    ::ExitProcess(kCheckExitCode);
}

} // namespace mirov
