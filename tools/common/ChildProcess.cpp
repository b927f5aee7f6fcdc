#include "tools/common/ChildProcess.h"

ChildProcess::~ChildProcess() {
    Kill();
}

namespace {

// std::wstring, as the tools' callers use it (mirov's wide text has a traits type of its own).
std::wstring Widen(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(::MultiByteToWideChar(
        CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], static_cast<int>(wide.size()))));
    return wide;
}

} // namespace

bool ChildProcess::Start(const std::string& exe, const std::string& arguments, const std::string& folder) {
    const std::wstring commandLine =
        L"\"" + Widen(exe) + L"\"" + (arguments.empty() ? L"" : L" " + Widen(arguments));
    return StartCommand(Widen(exe), commandLine, Widen(folder));
}

bool ChildProcess::Start(const std::wstring& exe, const std::wstring& folder) {
    return StartCommand(exe, L"\"" + exe + L"\"", folder);
}

bool ChildProcess::StartCommand(const std::wstring& exe, std::wstring commandLine,
                                const std::wstring& folder) {
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
