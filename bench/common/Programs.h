#pragma once

#include "ChildProcess.h"
#include "HelperWindow.h"

#include <windows.h>

#include <string>

// How a benchmarked program's window is found: class and title, as other programs find it.
struct WindowIdentity {
    const char* className;
    const char* title;
};

constexpr WindowIdentity kHelperWindow{"TMainForm", "Torvex Help"};
constexpr WindowIdentity kBaselineWindow{"TorvexBenchWindow", "Torvex Bench Window"};

// A program started by a benchmark, with its window; ended by force if it still runs when the
// object goes.
class Program {
public:
    Program(std::string label, WindowIdentity identity) : m_label(std::move(label)), m_identity(identity) {}
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts the program and waits until its window answers a message; false on failure or time-out.
    bool Start(const std::string& exe, const std::string& arguments = std::string(), DWORD timeoutMs = 30000);
    // Suspend then resume, each sent and answered; false when one is not answered in time.
    bool Cycle() const;
    bool Send(UINT message, WPARAM wParam) const;
    // Posts the quit request and waits for the end; false when the program does not end.
    bool Quit(DWORD timeoutMs = 20000);
    void Kill();

    const std::string& Label() const { return m_label; }
    DWORD Pid() const { return m_process.Pid(); }
    HANDLE Process() const { return m_process.Handle(); }
    HWND Window() const { return m_window; }
    bool IsRunning() const;

private:
    std::string m_label;
    WindowIdentity m_identity;
    ChildProcess m_process;
    HWND m_window = nullptr;
};

// The window of that identity owned by the process, or null.
HWND FindWindowOf(DWORD pid, const WindowIdentity& identity);

// Folder of the running executable, ending in a backslash.
std::string OwnFolder();
