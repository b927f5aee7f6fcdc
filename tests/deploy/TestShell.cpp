// Stands in for the desktop shell, which Wine does not name: a window made the shell window, owned
// by a process started with whatever token the test chose. Runs until it is ended.
#include "mirov/Lookup.h"

#include <windows.h>

int main() {
    const HWND window =
        ::CreateWindowExA(0, "STATIC", "TestShell", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    // Not in the SDK's headers: the shell itself calls it once its desktop window exists.
    using SetShellWindowFunction = BOOL(WINAPI*)(HWND);
    const auto setShellWindow =
        mirov::Lookup<SetShellWindowFunction>(::GetModuleHandleA("user32.dll"), "SetShellWindow");
    if (!window || !setShellWindow || !setShellWindow(window))
        return 1;
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0)
        ::DispatchMessageA(&message);
    return 0;
}
