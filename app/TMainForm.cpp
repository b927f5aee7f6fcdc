#include "app/TMainForm.h"

#include "app/ErrorBox.h"
#include "level/Veltra.h"
#include "mirov/Contract.h"
#include "mirov/Error.h"

namespace {

// The window is never shown, whatever another program asks (restore, maximize, ShowWindow,
// SetWindowPos): the request to show is taken out before it is carried out.
void KeepHidden(HWND window, UINT message, WINDOWPOS& position) {
    if (!(position.flags & SWP_SHOWWINDOW))
        return;
    if (message == WM_WINDOWPOSCHANGING)
        position.flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
    else // shown by a change made with SWP_NOSENDCHANGING, which passes by the above
        ::ShowWindow(window, SW_HIDE);
}

// Nor by a style change: another program may add WS_VISIBLE to the style, which would show the
// window without any position message; the new style is taken without it.
void KeepStyleHidden(WPARAM which, STYLESTRUCT& style) {
    if (static_cast<int>(which) == GWL_STYLE)
        style.styleNew &= ~static_cast<DWORD>(WS_VISIBLE);
}

} // namespace

TMainForm* MainForm = nullptr;

TMainForm::TMainForm(HINSTANCE instance) {
    Veltra::SetImpIndex(0);
    Veltra& veltra = Veltra::Instance();
    m_thermostatSupported = veltra.IsThermostatSupported();
    // The controller exists before the window can receive any message.
    CreateMainWindow(instance);
    m_sleepModel.Register(m_window.Get());
}

TMainForm::~TMainForm() {
    // What the window gets from here on is its own destruction.
    MainForm = nullptr;
}

void TMainForm::CreateMainWindow(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = contract::kWindowClass;
    if (!::RegisterClassExA(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw mirov::Error("Can not register the main window class");
    // Known to the window procedure before the window exists, never from a message.
    MainForm = this;
    m_creating = true;
    // Top-level, not message-only: power broadcasts reach top-level windows alone. Never shown.
    m_window.Reset(::CreateWindowExA(0, contract::kWindowClass, contract::kWindowTitle, WS_OVERLAPPEDWINDOW,
                                     425, 260, 250, 160, nullptr, nullptr, instance, nullptr));
    m_creating = false;
    if (!m_window) {
        MainForm = nullptr;
        throw mirov::Error("Can not create the main window");
    }
}

void TMainForm::Run() {
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

LRESULT CALLBACK TMainForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TMainForm* form = MainForm;
    if (message == WM_NCCREATE || message == WM_CREATE || message == WM_NCDESTROY)
        return AnswerLifecycle(form, window, message, wParam, lParam);
    if (!form || window != form->m_ownWindow)
        return ::DefWindowProcA(window, message, wParam, lParam);
    try {
        return form->HandleMessage(window, message, wParam, lParam);
    } catch (const mirov::Error& error) {
        // Shown, and the next message is handled as usual.
        ShowErrorBox(error);
        return 0;
    } catch (...) {
        // No other exception may unwind through the system's frames: running out of memory fails
        // this one message, and the next is handled as usual.
        return 0;
    }
}

LRESULT TMainForm::AnswerLifecycle(TMainForm* form, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Any program may send these at any time, with pointers that mean nothing in this process.
    switch (message) {
    case WM_NCCREATE:
        // Its default handling takes the title from the CREATESTRUCT: only in the creation started here.
        if (!form || !form->m_creating || form->m_ownWindow)
            return FALSE;
        form->m_ownWindow = window;
        break;
    case WM_CREATE:
        return 0; // nothing to set up, so its CREATESTRUCT is never read
    default:
        // WM_NCDESTROY: its default handling frees the title, so only where the window really goes:
        // a creation that failed, or the form's destruction.
        if (form && !form->m_creating)
            return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

LRESULT TMainForm::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_POWERBROADCAST:
        WMPowerBroadcast(wParam);
        return 0;
    case contract::kQuitMessage:
        return WMUser(window, wParam, lParam);
    case WM_CLOSE:
        Close();
        return 0;
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
        KeepHidden(window, message, *reinterpret_cast<WINDOWPOS*>(lParam));
        return ::DefWindowProcA(window, message, wParam, lParam);
    case WM_STYLECHANGING:
        KeepStyleHidden(wParam, *reinterpret_cast<STYLESTRUCT*>(lParam));
        return 0;
    case WM_SETTEXT:
        // The title is the window's identity toward other programs: nobody renames it.
        return FALSE;
    case WM_SETREDRAW:
        // Its default handling sets WS_VISIBLE directly, and a window never shown has nothing to
        // redraw: any program may post it, so it is left alone.
        return 0;
    case WM_ENDSESSION:
        // The logon ends: stop without saving or restoring anything.
        if (wParam)
            Close();
        return 0;
    default:
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
}

void TMainForm::WMPowerBroadcast(WPARAM event) {
    // A controller that is not supported (no library, or no support reported) cannot read or
    // switch levels: the keeper then leaves every event alone.
    if (m_thermostatSupported || !Veltra::Instance().IsSupported())
        return;
    const auto number = static_cast<DWORD>(event);
    if (m_sleepModel.IsWake(number)) {
        // 6 and 7 everywhere, 18 on a Modern Standby machine. Every wake restores again; the saved
        // level is kept for the next one.
        RestoreSavedLevel();
    } else if (number == PBT_APMSUSPEND) {
        ++m_suspends;
        // Whatever the read yields, 0 included, so a failed read never leads to a stale restore.
        m_savedLevel = static_cast<int32_t>(Veltra::Instance().GetLevel());
    }
}

void TMainForm::RestoreSavedLevel() {
    // A box of the controller runs its own loop, where further power events are handled. A wake
    // there only asks the running restore to go once more, so boxes never nest, however many wakes
    // come.
    if (m_restoring) {
        m_restorePending = true;
        return;
    }
    m_restoring = true;
    try {
        RestoreUntilSettled();
    } catch (...) {
        m_restoring = false;
        throw;
    }
    m_restoring = false;
}

void TMainForm::RestoreUntilSettled() {
    // A newer sleep handled inside this restore, which then goes on to set the older level, makes
    // it set the newest saved level again, as a wake inside it does.
    uint32_t suspends = 0;
    do {
        m_restorePending = false;
        if (m_savedLevel <= 0 || m_quitting)
            return;
        suspends = m_suspends;
        Veltra::Instance().SetLevel(static_cast<Level>(m_savedLevel));
    } while (m_restorePending || m_suspends != suspends);
}

LRESULT TMainForm::WMUser(HWND window, WPARAM wParam, LPARAM lParam) {
    if (!contract::IsQuitRequest(wParam))
        return ::DefWindowProcA(window, WM_USER, wParam, lParam);
    Close();
    return 0;
}

void TMainForm::Close() {
    // The window itself goes when the form is destroyed after the loop. A restore waiting behind a
    // box finishes the switch the box held up, never left half made, and starts no further round:
    // the quit message closes the box and then ends the loop.
    m_quitting = true;
    ::PostQuitMessage(0);
}
