#include "tests/support/SimService.h"

#include "tests/support/TestFolder.h"

#include <fstream>

namespace {

int g_started = 0;

} // namespace

SimService::SimService(const std::string& options) {
    const std::string tag = CurrentTestName() + "." + std::to_string(++g_started);
    m_log = TestFolder::TempRoot() + tag + ".requests";
    ::DeleteFileA(m_log.c_str());
    const std::string readyName = "SysCtrlSimReady." + std::to_string(::GetCurrentProcessId()) + "." + tag;
    mirov::UniqueHandle ready(::CreateEventA(nullptr, TRUE, FALSE, readyName.c_str()));
    const std::string arguments = options + " --log \"" + m_log + "\" --ready " + readyName + " --parent " +
                                  std::to_string(::GetCurrentProcessId());
    if (!ready || !m_process.Start(TestFolder::BinFolder() + "SysCtrlSim.exe", arguments))
        return;
    const HANDLE waits[] = {ready.Get(), m_process.Handle()};
    m_ready = ::WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
}

SimService::~SimService() {
    m_process.Kill();
    ::DeleteFileA(m_log.c_str());
}

std::vector<std::string> SimService::Requests() const {
    std::vector<std::string> lines;
    std::ifstream file(m_log);
    std::string line;
    while (std::getline(file, line))
        lines.push_back(line);
    return lines;
}
