#pragma once

#include <windows.h>

#include <vector>

// The helper's hidden main window as other programs find it.
constexpr char kHelperClassName[] = "TMainForm";
constexpr char kHelperTitle[] = "Torvex Help";

// The helper's windows; pid 0 finds the windows of every process.
std::vector<HWND> FindHelperWindows(DWORD pid = 0);

// Waits until the process has its window; null on time-out.
HWND WaitForHelperWindow(DWORD pid, DWORD timeoutMs);

// The quit request another program posts to the helper.
constexpr UINT kQuitMessage = WM_USER;
constexpr WPARAM kQuitWParam = 0x55;
