#pragma once

#include "app/SleepModel.h"
#include "mirov/Handles.h"

#include <windows.h>

#include <cstdint>

// The program's one window: hidden, top-level so that power broadcasts reach it, and the keeper
// of the level across a sleep.
class TMainForm {
public:
    explicit TMainForm(HINSTANCE instance);
    ~TMainForm();
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Handles messages until the quit message arrives.
    void Run();

    HWND Handle() const { return m_window.Get(); }

    // The level keeper: saves the level at a suspend and switches back to it at each resume.
    void WMPowerBroadcast(WPARAM event);
    // The quit request of another program (contract::IsQuitRequest).
    LRESULT WMUser(HWND window, WPARAM wParam, LPARAM lParam);
    void Close();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // WM_NCCREATE, WM_CREATE and WM_NCDESTROY: default handling only for the window's own creation
    // and end, never for another program's copy of them.
    static LRESULT AnswerLifecycle(TMainForm* form, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The window is passed in: messages arrive while CreateWindowExA has not yet returned it.
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateMainWindow(HINSTANCE instance);
    void RestoreSavedLevel();
    void RestoreUntilSettled();

    int32_t m_savedLevel = 0; // signed: a level with the top bit set is never restored
    uint32_t m_suspends = 0;  // handled suspends: tells a restore that a newer sleep came inside it
    bool m_thermostatSupported = false;
    bool m_creating = false;       // inside CreateWindowExA
    HWND m_ownWindow = nullptr;    // known from the first WM_NCCREATE of that creation on
    bool m_restoring = false;      // a restore runs, maybe waiting behind a box
    bool m_restorePending = false; // a wake came while it ran: it goes once more
    bool m_quitting = false;
    mirov::UniqueWindow m_window;
    SleepModel m_sleepModel; // after the window: its registration goes before the window does
};

extern TMainForm* MainForm;
