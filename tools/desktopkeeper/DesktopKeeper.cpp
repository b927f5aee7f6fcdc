// Keeps Wine's desktop open while tests run: a window on it until the wineserver ends.
// Wine closes a desktop one second after the last program on it ends, and the next program that
// opens a window then waits a second or more for a new one; between two tests there is often such
// a gap. Windows keeps the desktop for the whole logon, as this does.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Message-only: no program that looks for top-level windows meets it.
    if (!::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr))
        return 1;
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&message);
    return 0;
}
