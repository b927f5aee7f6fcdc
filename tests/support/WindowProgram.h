#pragma once

#include "tools/common/ChildProcess.h"
#include "mirov/Contract.h"

#include <windows.h>

#include <string>

// How a program's window is found: class and title, as other programs find it.
struct WindowIdentity {
    const char* className;
    const char* title;
};

constexpr WindowIdentity kHelperWindow{contract::kWindowClass, contract::kWindowTitle};

// A program with a top-level window, started by a test or a benchmark and driven by messages to that
// window; ended by force if it still runs when the object goes.
class WindowProgram {
public:
    explicit WindowProgram(WindowIdentity identity, std::string label = std::string())
        : m_identity(identity), m_label(std::move(label)) {}
    WindowProgram(const WindowProgram&) = delete;
    WindowProgram& operator=(const WindowProgram&) = delete;

    // Starts the program in its own folder, without waiting for anything.
    bool Launch(const std::string& exe, const std::string& arguments = std::string());
    // Waits until the process has its window; null on time-out or when the process ends first.
    HWND WaitForWindow(DWORD timeoutMs);
    // Launch and WaitForWindow, then waits until the window answers a message; false on failure.
    bool Start(const std::string& exe, const std::string& arguments = std::string(), DWORD timeoutMs = 30000);

    // Sends and waits for the answer; false when none comes in time (`result` then holds whatever
    // the system left in it).
    bool Send(UINT message, WPARAM wParam, LPARAM lParam = 0, LRESULT* result = nullptr) const;
    // Suspend then resume, each sent and answered.
    bool Cycle() const;
    // Posts the quit request and waits for the end; false when the program does not end.
    bool Quit(DWORD timeoutMs = 20000);
    void Kill() { m_process.Kill(); }

    const std::string& Label() const { return m_label; }
    ChildProcess& Process() { return m_process; }
    const ChildProcess& Process() const { return m_process; }
    DWORD Pid() const { return m_process.Pid(); }
    HWND Window() const { return m_window; }
    bool IsRunning() const { return m_process.IsRunning(); }

private:
    WindowIdentity m_identity;
    std::string m_label;
    ChildProcess m_process;
    HWND m_window = nullptr;
};

// The window of that identity owned by the process, or null.
HWND FindWindowOf(DWORD pid, const WindowIdentity& identity);
