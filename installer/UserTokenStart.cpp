#include "installer/UserTokenStart.h"

#include "mirov/Handles.h"

#include <userenv.h>
#include <windows.h>

#include <memory>
#include <utility>
#include <vector>

namespace {

// Whether the process runs elevated; false with *known false when its token cannot be read.
bool IsElevated(HANDLE process, bool* known) {
    mirov::UniqueHandle token;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    *known = ::OpenProcessToken(process, TOKEN_QUERY, token.Put()) &&
             ::GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size);
    return *known && elevation.TokenIsElevated;
}

using EnvironmentBlock = std::unique_ptr<void, decltype(&::DestroyEnvironmentBlock)>;

// The environment of the user the process runs as, as the logon builds it, without the caller's
// own: the elevated installer's may hold what its caller put there.
EnvironmentBlock EnvironmentOf(HANDLE process) {
    EnvironmentBlock block(nullptr, &::DestroyEnvironmentBlock);
    mirov::UniqueHandle token;
    void* created = nullptr;
    if (::OpenProcessToken(process, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE, token.Put()) &&
        ::CreateEnvironmentBlock(&created, token.Get(), FALSE))
        block.reset(created);
    return block;
}

CommandResult NotStarted(ExitCode code, const std::wstring& why) {
    return {code, L"Not started: " + why};
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

} // namespace

UserTokenStart::UserTokenStart(std::wstring program) : m_program(std::move(program)) {}

CommandResult UserTokenStart::Start() const {
    mirov::UniqueHandle shell;
    if (const std::optional<CommandResult> refused = OpenShell(shell))
        return *refused;
    return StartAsChildOf(shell.Get());
}

std::optional<CommandResult> UserTokenStart::OpenShell(mirov::UniqueHandle& shell) const {
    const HWND window = ::GetShellWindow();
    DWORD shellId = 0;
    if (!window || !::GetWindowThreadProcessId(window, &shellId))
        return NotStarted(ExitCode::Refused, L"no desktop shell runs for the logged-on user");
    mirov::UniqueHandle process(
        ::OpenProcess(PROCESS_CREATE_PROCESS | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellId));
    if (!process)
        return NotStarted(ExitCode::Failed, L"the desktop shell's process cannot be opened: error " +
                                                std::to_wstring(::GetLastError()));
    bool known = false;
    if (IsElevated(process.Get(), &known))
        return NotStarted(ExitCode::Refused, L"the desktop shell runs elevated");
    if (!known)
        return NotStarted(ExitCode::Failed, L"the desktop shell's token cannot be read: error " +
                                                std::to_wstring(::GetLastError()));
    shell = std::move(process);
    return std::nullopt;
}

CommandResult UserTokenStart::StartAsChildOf(HANDLE parent) const {
    // The child takes the token of the process named as its parent.
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<BYTE> buffer(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.data());
    if (!::InitializeProcThreadAttributeList(attributes, 1, 0, &size))
        return NotStarted(ExitCode::Failed,
                          L"cannot prepare the start: error " + std::to_wstring(::GetLastError()));
    const std::unique_ptr<_PROC_THREAD_ATTRIBUTE_LIST, decltype(&::DeleteProcThreadAttributeList)> owned(
        attributes, &::DeleteProcThreadAttributeList);
    if (!::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_PARENT_PROCESS, &parent,
                                     sizeof parent, nullptr, nullptr))
        return NotStarted(ExitCode::Failed,
                          L"cannot prepare the start: error " + std::to_wstring(::GetLastError()));

    const EnvironmentBlock environment = EnvironmentOf(parent);
    if (!environment)
        return NotStarted(ExitCode::Failed, L"the desktop shell's environment cannot be made: error " +
                                                std::to_wstring(::GetLastError()));

    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = attributes;
    PROCESS_INFORMATION started = {};
    std::wstring commandLine = L"\"" + m_program + L"\"";
    const std::wstring folder = FolderOf(m_program);
    if (!::CreateProcessW(m_program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT, environment.get(),
                          folder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo, &started))
        return NotStarted(ExitCode::Failed,
                          L"cannot start " + m_program + L": error " + std::to_wstring(::GetLastError()));
    const mirov::UniqueHandle process(started.hProcess);
    const mirov::UniqueHandle thread(started.hThread);
    return {ExitCode::Done, L"Started " + m_program + L" with the logged-on user's token"};
}
