#include "tests/support/HelperProcess.h"

#include "mirov/Path.h"
#include "tools/common/HelperWindow.h"

HelperProcess::HelperProcess(const TestFolder& folder, bool withLibrary) : m_exe(folder / "TorvexHelp.exe") {
    folder.CopyFromBin("TorvexHelp.exe");
    if (withLibrary)
        folder.CopyFromBin("Torvex.dll");
}

bool HelperProcess::Start(const std::string& exePath) {
    if (!exePath.empty())
        m_exe = exePath;
    if (!m_process.Start(m_exe, std::string(), mirov::ExtractDirectory(m_exe)))
        return false;
    m_boxes = std::make_unique<MessageBoxWatcher>(m_process.Pid());
    return true;
}

HWND HelperProcess::WaitForWindow(DWORD timeoutMs) {
    m_window = WaitForHelperWindow(m_process.Pid(), timeoutMs);
    return m_window;
}

LRESULT HelperProcess::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    DWORD_PTR result = 0xBAD;
    ::SendMessageTimeoutA(m_window, message, wParam, lParam, SMTO_NORMAL, 30000, &result);
    return static_cast<LRESULT>(result);
}

bool HelperProcess::Quit(DWORD timeoutMs) {
    ::PostMessageA(m_window, kQuitMessage, kQuitWParam, 0);
    return m_process.Wait(timeoutMs);
}
