#pragma once

#include <windows.h>

// How the machine sleeps. A classic machine (S3) tells every top-level window of a suspend and of
// the resume (events 4, then 6 or 7). A Modern Standby machine (S0 low-power idle) tells only a
// window registered for it, and the wake comes as event 18 (PBT_APMRESUMEAUTOMATIC).
class SleepModel {
public:
    // True only when the system was asked and said that it sleeps in Modern Standby.
    using Query = bool (*)();

    // Asks the system once; the seam lets a test give the answer.
    explicit SleepModel(Query modernStandby = &QueryModernStandby);
    ~SleepModel();
    SleepModel(const SleepModel&) = delete;
    SleepModel& operator=(const SleepModel&) = delete;

    bool IsModernStandby() const { return m_modernStandby; }
    // Whether the power event is a wake on which the keeper restores the level.
    bool IsWake(DWORD event) const;
    // On a Modern Standby machine, registers the window for suspend and resume notifications
    // until this object goes; elsewhere nothing. True when the window is registered; a failed
    // registration is traced.
    bool Register(HWND window);

    static bool QueryModernStandby();

private:
    using UnregisterFunction = BOOL(WINAPI*)(HPOWERNOTIFY);

    bool m_modernStandby;
    HPOWERNOTIFY m_registration = nullptr;
    UnregisterFunction m_unregister = nullptr;
};
