#pragma once

#include "mirov/Handles.h"
#include "mirov/Path.h"

#include <string>

// A started program; ended by force if it still runs when its owner goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::string& exe, const std::string& arguments = std::string(),
               const std::string& folder = std::string());
    // By exact path, for folder names the ANSI code page cannot show.
    bool Start(const mirov::WideString& exe, const mirov::WideString& folder);
    DWORD Pid() const { return m_pid; }
    HANDLE Handle() const { return m_process.Get(); }
    // True when the process ended within the time.
    bool Wait(DWORD timeoutMs) const;
    bool IsRunning() const { return m_process && !Wait(0); }
    // The whole 32-bit exit code; STILL_ACTIVE while it runs.
    DWORD ExitCode() const;
    void Kill();

private:
    bool StartCommand(const mirov::WideString& exe, mirov::WideString commandLine,
                      const mirov::WideString& folder);

    mirov::UniqueHandle m_process;
    DWORD m_pid = 0;
};
