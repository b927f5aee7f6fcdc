// The baseline of the benchmarks: a hidden top-level window like the helper's that answers every
// power event with 0 at once, and quits on the same quit request.
//   BenchWindow              answers at once
//   BenchWindow --library    makes the helper's library calls of support state 1 first: TorvexGetLevel
//                            at a suspend; TorvexGetLevel and TorvexSetLevel at a resume (Torvex.dll
//                            beside it), so that what the library itself costs can be told apart
//   BenchWindow --library --user-level
//                            the same for support state 3 at the user level with six thresholds: at a
//                            resume (after the first) also the feature switch read, the six-threshold
//                            question (three items) before and after the switch and the six writes
#include "mirov/Contract.h"
#include "mirov/Lookup.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr char kClassName[] = "TorvexBenchWindow";
constexpr char kTitle[] = "Torvex Bench Window";

constexpr uint32_t kFeatureSwitchItem = 0x0B060002;
constexpr uint32_t kFirstThresholdItem = 0x0E0A0014;
constexpr uint32_t kFirstSixThresholdItem = 0x0E0A0017; // the six-threshold question asks 3 items
// What the bench machine holds in state 3; the values cost nothing, the calls do.
constexpr uint32_t kThresholds[] = {30, 40, 50, 60, 70, 80};

using GetLevelFn = unsigned char(WINAPI*)(uint32_t* level);
using SetLevelFn = unsigned char(WINAPI*)(uint32_t level);
using GetItemFn = unsigned char(WINAPI*)(uint32_t item, uint32_t* value);
using SetItemFn = unsigned char(WINAPI*)(uint32_t item, uint32_t value);
using IsItemSupportedFn = unsigned char(WINAPI*)(uint32_t item);

struct Library {
    GetLevelFn getLevel = nullptr;
    SetLevelFn setLevel = nullptr;
    GetItemFn getItem = nullptr;
    SetItemFn setItem = nullptr;
    IsItemSupportedFn isItemSupported = nullptr;
    bool userLevel = false; // state 3's calls as well
    uint32_t savedLevel = 0;
};

Library g_library;

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
    g_library.getLevel = mirov::Lookup<GetLevelFn>(library, "TorvexGetLevel");
    g_library.setLevel = mirov::Lookup<SetLevelFn>(library, "TorvexSetLevel");
    g_library.getItem = mirov::Lookup<GetItemFn>(library, "TorvexGetItem");
    g_library.setItem = mirov::Lookup<SetItemFn>(library, "TorvexSetItem");
    g_library.isItemSupported = mirov::Lookup<IsItemSupportedFn>(library, "IsItemSupported");
    return g_library.getLevel && g_library.setLevel && g_library.getItem && g_library.setItem &&
           g_library.isItemSupported;
}

void AskSixThresholds() {
    for (uint32_t i = 0; i < 3; ++i)
        g_library.isItemSupported(kFirstSixThresholdItem + i);
}

void Resume() {
    uint32_t level = 0;
    g_library.getLevel(&level);
    if (g_library.userLevel) {
        uint32_t feature = 0;
        g_library.getItem(kFeatureSwitchItem, &feature);
        AskSixThresholds();
        for (uint32_t i = 0; i < 6; ++i)
            g_library.setItem(kFirstThresholdItem + i, kThresholds[i]);
    }
    g_library.setLevel(g_library.savedLevel);
    if (g_library.userLevel)
        AskSixThresholds();
}

void LibraryCalls(WPARAM event) {
    if (!g_library.getLevel)
        return;
    uint32_t level = 0;
    if (event == PBT_APMSUSPEND)
        g_library.savedLevel = g_library.getLevel(&level) ? level : 0;
    else if (event == PBT_APMRESUMESUSPEND && g_library.savedLevel > 0)
        Resume();
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_POWERBROADCAST:
        LibraryCalls(wParam);
        return 0;
    case contract::kQuitMessage:
        if (!contract::IsQuitRequest(wParam))
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
    g_library.userLevel = std::strstr(commandLine, "--user-level") != nullptr;
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
