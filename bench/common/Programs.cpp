#include "Programs.h"

#include "mirov/Path.h"

namespace {

constexpr DWORD kAnswerTimeoutMs = 10000;

bool Answers(HWND window) {
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerTimeoutMs, &result) != 0;
}

} // namespace

bool Program::Start(const std::string& exe, const std::string& arguments, DWORD timeoutMs) {
    Kill();
    m_window = nullptr;
    if (!m_process.Start(exe, arguments, mirov::ExtractDirectory(exe)))
        return false;
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    // A tight poll: start-up is timed up to this point, and a coarse poll would add its period.
    while (!(m_window = FindWindowOf(m_process.Pid(), m_identity))) {
        if (::GetTickCount64() > end || !IsRunning())
            return false;
        ::Sleep(1);
    }
    return Answers(m_window);
}

bool Program::Send(UINT message, WPARAM wParam) const {
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutA(m_window, message, wParam, 0, SMTO_NORMAL, kAnswerTimeoutMs, &result) != 0;
}

bool Program::Cycle() const {
    return Send(WM_POWERBROADCAST, PBT_APMSUSPEND) && Send(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND);
}

bool Program::Quit(DWORD timeoutMs) {
    if (!IsRunning())
        return true;
    ::PostMessageA(m_window, kQuitMessage, kQuitWParam, 0);
    return m_process.Wait(timeoutMs);
}

void Program::Kill() {
    m_process.Kill();
}

bool Program::IsRunning() const {
    return m_process.IsRunning();
}

HWND FindWindowOf(DWORD pid, const WindowIdentity& identity) {
    HWND window = nullptr;
    while ((window = ::FindWindowExA(nullptr, window, identity.className, identity.title))) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == pid)
            return window;
    }
    return nullptr;
}

std::string OwnFolder() {
    return mirov::ExtractDirectory(mirov::GetExeFileName());
}
