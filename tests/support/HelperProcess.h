#pragma once

#include "tests/support/TestFolder.h"
#include "tests/support/WindowProgram.h"
#include "tools/common/MessageBoxWatcher.h"

#include <windows.h>

#include <memory>
#include <string>

// The real TorvexHelp.exe started from a test folder, with its message boxes watched.
class HelperProcess {
public:
    // Copies the program (and, unless told otherwise, the simulated library) into the folder.
    explicit HelperProcess(const TestFolder& folder, bool withLibrary = true);

    bool Start(const std::string& exePath = std::string());
    // Waits for the hidden window; null when it does not come.
    HWND WaitForWindow(DWORD timeoutMs = 20000) { return m_program.WaitForWindow(timeoutMs); }
    HWND Window() const { return m_program.Window(); }

    // Sends and waits for the answer, as the system sends power broadcasts; 0xBAD when none comes.
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam = 0) const;
    LRESULT Power(WPARAM event) const { return Send(WM_POWERBROADCAST, event); }
    // Posts the quit request and waits for the end; false when the program does not end.
    bool Quit(DWORD timeoutMs = 20000) { return m_program.Quit(timeoutMs); }

    ChildProcess& Process() { return m_program.Process(); }
    MessageBoxWatcher& Boxes() { return *m_boxes; }
    std::string ExePath() const { return m_exe; }

private:
    std::string m_exe;
    WindowProgram m_program{kHelperWindow};
    std::unique_ptr<MessageBoxWatcher> m_boxes;
};
