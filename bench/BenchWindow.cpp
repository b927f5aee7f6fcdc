// The baseline of the benchmarks: a hidden top-level window like the helper's that answers every
// power event with 0 at once, and quits on the same quit request.
//   BenchWindow              answers at once
//   BenchWindow --library    makes the helper's library calls of support state 1 first: TorvexGetLevel
//                            at a suspend; TorvexGetLevel and TorvexSetLevel at a resume (Torvex.dll
//                            beside it), so that what the library itself costs can be told apart
#include <windows.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr char kClassName[] = "TorvexBenchWindow";
constexpr char kTitle[] = "Torvex Bench Window";
constexpr WPARAM kQuitRequest = 0x55;

using GetLevelFn = unsigned char(WINAPI*)(uint32_t* level);
using SetLevelFn = unsigned char(WINAPI*)(uint32_t level);

GetLevelFn g_getLevel = nullptr;
SetLevelFn g_setLevel = nullptr;
uint32_t g_savedLevel = 0;

template <typename Fn> Fn Resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

bool BindLibrary() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = length > 0 && length < MAX_PATH ? std::strrchr(path, '\\') : nullptr;
    if (!slash || static_cast<size_t>(slash - path) + sizeof "\\Torvex.dll" > sizeof path)
        return false;
    std::memcpy(slash + 1, "Torvex.dll", sizeof "Torvex.dll");
    const HMODULE library = ::LoadLibraryA(path);
    if (!library)
        return false;
    g_getLevel = Resolve<GetLevelFn>(library, "TorvexGetLevel");
    g_setLevel = Resolve<SetLevelFn>(library, "TorvexSetLevel");
    return g_getLevel && g_setLevel;
}

void LibraryCalls(WPARAM event) {
    if (!g_getLevel)
        return;
    uint32_t level = 0;
    if (event == PBT_APMSUSPEND) {
        g_savedLevel = g_getLevel(&level) ? level : 0;
    } else if (event == PBT_APMRESUMESUSPEND && g_savedLevel > 0) {
        g_getLevel(&level);
        g_setLevel(g_savedLevel);
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_POWERBROADCAST:
        LibraryCalls(wParam);
        return 0;
    case WM_USER:
        if ((wParam & 0xFF) != kQuitRequest)
            break;
        ::PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        ::PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

bool CreateMainWindow(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    if (!::RegisterClassExA(&windowClass))
        return false;
    // The helper's kind of window: top-level, never shown.
    return ::CreateWindowExA(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, 425, 260, 250, 160, nullptr, nullptr,
                             instance, nullptr) != nullptr;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    if (std::strstr(commandLine, "--library") && !BindLibrary())
        return 2;
    if (!CreateMainWindow(instance))
        return 1;
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    return 0;
}
