#include "tools/common/ChildProcess.h"

ChildProcess::~ChildProcess() {
    Kill();
}

bool ChildProcess::Start(const std::string& exe, const std::string& arguments, const std::string& folder) {
    const mirov::WideString commandLine = L"\"" + mirov::WidenAnsi(exe) + L"\"" +
                                          (arguments.empty() ? L"" : L" " + mirov::WidenAnsi(arguments));
    return StartCommand(mirov::WidenAnsi(exe), commandLine, mirov::WidenAnsi(folder));
}

bool ChildProcess::Start(const mirov::WideString& exe, const mirov::WideString& folder) {
    return StartCommand(exe, L"\"" + exe + L"\"", folder);
}

bool ChildProcess::StartCommand(const mirov::WideString& exe, mirov::WideString commandLine,
                                const mirov::WideString& folder) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    // Under Wine a start very rarely fails at once for no reason of the program's; a second try
    // succeeds. The last error stays that of the last try.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0)
            ::Sleep(200);
        started = ::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   folder.empty() ? nullptr : folder.c_str(), &startup, &info) != 0;
    }
    if (!started)
        return false;
    ::CloseHandle(info.hThread);
    m_process.Reset(info.hProcess);
    m_pid = info.dwProcessId;
    return true;
}

bool ChildProcess::Wait(DWORD timeoutMs) const {
    return m_process && ::WaitForSingleObject(m_process.Get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(m_process.Get(), &code);
    return code;
}

void ChildProcess::Kill() {
    if (IsRunning()) {
        ::TerminateProcess(m_process.Get(), 0xDEAD);
        Wait(5000);
    }
}
