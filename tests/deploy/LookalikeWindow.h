#pragma once

#include <windows.h>

#include <thread>

// Another program's window of the helper's class and title, in the test's own process, whose thread
// answers nothing until the window goes: what a program that copies the window looks like when it hangs.
class LookalikeWindow {
public:
    LookalikeWindow();
    ~LookalikeWindow();
    LookalikeWindow(const LookalikeWindow&) = delete;
    LookalikeWindow& operator=(const LookalikeWindow&) = delete;

    HWND Window() const { return m_window; }
    // Ends the window; true when the quit request had been posted to it.
    bool CloseAndTellIfAskedToQuit();

private:
    void Run();

    HANDLE m_ready;
    HANDLE m_stop;
    HWND m_window = nullptr;
    bool m_asked = false;
    std::thread m_thread;
};
