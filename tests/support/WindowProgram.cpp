#include "tests/support/WindowProgram.h"

#include "mirov/Path.h"

namespace {

constexpr DWORD kAnswerTimeoutMs = 30000;

} // namespace

bool WindowProgram::Launch(const std::string& exe, const std::string& arguments) {
    m_window = nullptr;
    return m_process.Start(exe, arguments, mirov::ExtractDirectory(exe));
}

HWND WindowProgram::WaitForWindow(DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    // A tight poll: start-up is timed up to this point, and a coarse poll would add its period.
    while (!(m_window = FindWindowOf(m_process.Pid(), m_identity))) {
        if (::GetTickCount64() > end || !IsRunning())
            return nullptr;
        ::Sleep(1);
    }
    return m_window;
}

bool WindowProgram::Start(const std::string& exe, const std::string& arguments, DWORD timeoutMs) {
    return Launch(exe, arguments) && WaitForWindow(timeoutMs) && Send(WM_NULL, 0);
}

bool WindowProgram::Send(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) const {
    DWORD_PTR answer = result ? static_cast<DWORD_PTR>(*result) : 0;
    const bool answered =
        ::SendMessageTimeoutA(m_window, message, wParam, lParam, SMTO_NORMAL, kAnswerTimeoutMs, &answer) != 0;
    if (result)
        *result = static_cast<LRESULT>(answer);
    return answered;
}

bool WindowProgram::Cycle() const {
    return Send(WM_POWERBROADCAST, PBT_APMSUSPEND) && Send(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND);
}

bool WindowProgram::Quit(DWORD timeoutMs) {
    ::PostMessageA(m_window, contract::kQuitMessage, contract::kQuitRequest, 0);
    return m_process.Wait(timeoutMs);
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
