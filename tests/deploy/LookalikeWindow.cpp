#include "tests/deploy/LookalikeWindow.h"

#include "mirov/Contract.h"

LookalikeWindow::LookalikeWindow()
    : m_ready(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_stop(::CreateEventA(nullptr, TRUE, FALSE, nullptr)), m_thread(&LookalikeWindow::Run, this) {
    ::WaitForSingleObject(m_ready, 10000);
}

LookalikeWindow::~LookalikeWindow() {
    CloseAndTellIfAskedToQuit();
    ::CloseHandle(m_stop);
    ::CloseHandle(m_ready);
}

bool LookalikeWindow::CloseAndTellIfAskedToQuit() {
    ::SetEvent(m_stop);
    if (m_thread.joinable())
        m_thread.join();
    return m_asked;
}

void LookalikeWindow::Run() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ::DefWindowProcA;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = contract::kWindowClass;
    ::RegisterClassA(&windowClass);
    m_window = ::CreateWindowExA(0, contract::kWindowClass, contract::kWindowTitle, WS_POPUP, 0, 0, 1, 1,
                                 nullptr, nullptr, windowClass.hInstance, nullptr);
    ::SetEvent(m_ready);
    // No message is taken out of the queue until the test ends the window.
    ::WaitForSingleObject(m_stop, INFINITE);
    MSG message;
    while (::PeekMessageA(&message, m_window, contract::kQuitMessage, contract::kQuitMessage, PM_REMOVE))
        m_asked = m_asked || message.wParam == contract::kQuitRequest;
    ::DestroyWindow(m_window);
    ::UnregisterClassA(contract::kWindowClass, windowClass.hInstance);
}
