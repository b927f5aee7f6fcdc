#pragma once

#include "mirov/Path.h"

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

// Finds message boxes (top-level dialogs of class "#32770") as they appear, records them and
// presses OK, so that a program under test never waits for a person.
class MessageBoxWatcher {
public:
    struct Box {
        DWORD pid;
        std::string caption;
        std::string text;
        bool hasIcon;
        int buttons;
        mirov::WideString wideText; // the text as it is, also where the ANSI code page cannot show it
    };

    // pid 0 watches every process of the desktop.
    explicit MessageBoxWatcher(DWORD pid = 0);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // How long a box stays open before OK is pressed.
    void SetPressDelay(DWORD ms) { m_pressDelayMs = ms; }

    std::vector<Box> Boxes() const;
    void Clear();
    bool WaitForCount(size_t count, DWORD timeoutMs) const;

private:
    struct Pending {
        HWND window;
        ULONGLONG pressAt;
    };

    void Watch();
    void Scan();
    static BOOL CALLBACK CollectBox(HWND window, LPARAM self);

    DWORD m_pid;
    std::atomic<DWORD> m_pressDelayMs{0};
    std::atomic<bool> m_stop{false};
    std::set<HWND> m_seen;
    std::vector<Pending> m_pending;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    std::vector<Box> m_boxes;
    std::thread m_thread;
};
