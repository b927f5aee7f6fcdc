#pragma once

#include "tools/common/ChildProcess.h"

#include <string>
#include <vector>

// SysCtrlSim.exe serving the system-control pipe for one test, with the given options (see the
// README); started and listening once constructed, ended with the object.
class SimService {
public:
    explicit SimService(const std::string& options = std::string());
    ~SimService();
    SimService(const SimService&) = delete;
    SimService& operator=(const SimService&) = delete;

    // True once the pipe exists; clients before that fail at once with error 2.
    bool IsReady() const { return m_ready; }
    // Each request received so far, as hex bytes ("01 00 00 80").
    std::vector<std::string> Requests() const;
    // True when the simulator ended within the time (after its --count requests).
    bool WaitForExit(DWORD timeoutMs) const { return m_process.Wait(timeoutMs); }

private:
    std::string m_log;
    ChildProcess m_process;
    bool m_ready = false;
};
