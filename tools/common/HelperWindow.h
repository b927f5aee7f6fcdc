#pragma once

#include <windows.h>

#include <vector>

// The helper's windows, by the class and title of mirov/Contract.h; pid 0 finds those of every process.
std::vector<HWND> FindHelperWindows(DWORD pid = 0);

// Waits until the process has its window; null on time-out.
HWND WaitForHelperWindow(DWORD pid, DWORD timeoutMs);
