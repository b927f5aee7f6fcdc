#include "tests/support/HelperProcess.h"

HelperProcess::HelperProcess(const TestFolder& folder, bool withLibrary) : m_exe(folder / "TorvexHelp.exe") {
    folder.CopyFromBin("TorvexHelp.exe");
    if (withLibrary)
        folder.CopyFromBin("Torvex.dll");
}

bool HelperProcess::Start(const std::string& exePath) {
    if (!exePath.empty())
        m_exe = exePath;
    if (!m_program.Launch(m_exe))
        return false;
    m_boxes = std::make_unique<MessageBoxWatcher>(m_program.Pid());
    return true;
}

LRESULT HelperProcess::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    LRESULT result = 0xBAD;
    m_program.Send(message, wParam, lParam, &result);
    return result;
}
