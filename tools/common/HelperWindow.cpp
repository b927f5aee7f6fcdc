#include "tools/common/HelperWindow.h"

#include "mirov/Contract.h"

namespace {

struct Search {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectHelper(HWND window, LPARAM param) {
    Search& search = *reinterpret_cast<Search*>(param);
    char className[32] = {};
    char title[32] = {};
    ::GetClassNameA(window, className, sizeof className);
    ::GetWindowTextA(window, title, sizeof title);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (lstrcmpA(className, contract::kWindowClass) == 0 && lstrcmpA(title, contract::kWindowTitle) == 0 &&
        (search.pid == 0 || search.pid == pid))
        search.found.push_back(window);
    return TRUE;
}

} // namespace

std::vector<HWND> FindHelperWindows(DWORD pid) {
    Search search{pid, {}};
    ::EnumWindows(CollectHelper, reinterpret_cast<LPARAM>(&search)); // top-level windows only
    return search.found;
}

HWND WaitForHelperWindow(DWORD pid, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    do {
        const auto windows = FindHelperWindows(pid);
        if (!windows.empty())
            return windows.front();
        ::Sleep(10);
    } while (::GetTickCount64() < end);
    return nullptr;
}
