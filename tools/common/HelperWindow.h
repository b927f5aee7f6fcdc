#pragma once

#include "mirov/Contract.h"

#include <windows.h>

#include <vector>

// The helper's windows; pid 0 finds the windows of every process.
std::vector<HWND> FindHelperWindows(DWORD pid = 0);

// Waits until the process has its window; null on time-out.
HWND WaitForHelperWindow(DWORD pid, DWORD timeoutMs);
