#include "installer/RunningCopies.h"

#include "mirov/Contract.h"
#include "mirov/Handles.h"
#include "installer/EnabledPrivilege.h"

#include <tlhelp32.h>
#include <windows.h>

#include <utility>
#include <vector>

namespace {

constexpr auto kWindowClass = contract::Wide(contract::kWindowClass);
constexpr auto kWindowTitle = contract::Wide(contract::kWindowTitle);
constexpr DWORD kPollMs = 100;
// A copy ended by force: its exit code, and how long its end may take once ended.
constexpr DWORD kForcedExitCode = ERROR_PROCESS_ABORTED;
constexpr DWORD kForcedEndWaitMs = 5000;

struct Copy {
    mirov::UniqueHandle process;
    DWORD id;
    std::vector<HWND> asked;
};

// The full, long form of a path, as the system reports a process's image.
std::wstring LongFullPath(const std::wstring& path) {
    std::vector<wchar_t> full(32768);
    const DWORD length =
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size())
        return path;
    std::vector<wchar_t> longer(32768);
    const DWORD longLength =
        ::GetLongPathNameW(full.data(), longer.data(), static_cast<DWORD>(longer.size()));
    return longLength > 0 && longLength < longer.size() ? std::wstring(longer.data())
                                                        : std::wstring(full.data());
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::wstring ImageOf(HANDLE process) {
    std::vector<wchar_t> path(32768);
    DWORD size = static_cast<DWORD>(path.size());
    return ::QueryFullProcessImageNameW(process, 0, path.data(), &size) ? std::wstring(path.data(), size)
                                                                        : std::wstring();
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// A process opened to be waited for and ended; or only waited for, where it may not be ended.
mirov::UniqueHandle OpenCopy(DWORD id) {
    mirov::UniqueHandle process(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, id));
    if (!process)
        process.Reset(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    return process;
}

// The processes whose image is the program, opened; false when none can be listed. Those of the
// program's name that cannot be opened are named in *unopened.
bool FindCopies(const std::wstring& program, std::vector<Copy>& copies, std::wstring* unopened) {
    const mirov::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.Get() == INVALID_HANDLE_VALUE)
        return false;
    const std::wstring name = FileNameOf(program);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == 0 || entry.th32ProcessID == ::GetCurrentProcessId())
            continue;
        mirov::UniqueHandle process = OpenCopy(entry.th32ProcessID);
        const DWORD error = ::GetLastError();
        if (process && SamePath(ImageOf(process.Get()), program))
            copies.push_back({std::move(process), entry.th32ProcessID, {}});
        else if (!process && SamePath(entry.szExeFile, name))
            *unopened += (unopened->empty() ? L"" : L", ") + std::to_wstring(entry.th32ProcessID) +
                         L" (error " + std::to_wstring(error) + L")";
    }
    return true;
}

// Posts the quit request to the copy's windows that have not had it yet.
void AskToQuit(Copy& copy) {
    for (HWND window = ::FindWindowExW(nullptr, nullptr, kWindowClass.text, kWindowTitle.text); window;
         window = ::FindWindowExW(nullptr, window, kWindowClass.text, kWindowTitle.text)) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        bool asked = false;
        for (HWND done : copy.asked)
            asked = asked || done == window;
        if (owner == copy.id && !asked &&
            ::PostMessageW(window, contract::kQuitMessage, contract::kQuitRequest, 0))
            copy.asked.push_back(window);
    }
}

bool HasEnded(const Copy& copy) {
    return ::WaitForSingleObject(copy.process.Get(), 0) == WAIT_OBJECT_0;
}

// The ids of the copies still running, comma-separated; "" when all have ended.
std::wstring StillRunning(const std::vector<Copy>& copies) {
    std::wstring running;
    for (const Copy& copy : copies) {
        if (!HasEnded(copy))
            running += (running.empty() ? L"" : L", ") + std::to_wstring(copy.id);
    }
    return running;
}

// Asks the copies to quit until all have ended; false when the time is up first.
bool AskUntilEnded(std::vector<Copy>& copies, DWORD waitMs) {
    const ULONGLONG end = ::GetTickCount64() + waitMs;
    for (;;) {
        for (Copy& copy : copies) {
            if (!HasEnded(copy))
                AskToQuit(copy);
        }
        if (StillRunning(copies).empty())
            return true;
        if (::GetTickCount64() >= end)
            return false;
        ::Sleep(kPollMs);
    }
}

// Ends by force the copies that did not answer; those still running after that.
std::wstring EndByForce(const std::vector<Copy>& copies) {
    for (const Copy& copy : copies) {
        if (!HasEnded(copy))
            ::TerminateProcess(copy.process.Get(), kForcedExitCode);
    }
    const ULONGLONG end = ::GetTickCount64() + kForcedEndWaitMs;
    std::wstring running = StillRunning(copies);
    while (!running.empty() && ::GetTickCount64() < end) {
        ::Sleep(kPollMs);
        running = StillRunning(copies);
    }
    return running;
}

} // namespace

RunningCopies::RunningCopies(std::wstring program, DWORD waitMs)
    : m_program(std::move(program)), m_waitMs(waitMs) {}

CommandResult RunningCopies::End() const {
    // Another user's copy (another logon, fast user switching) grants administrators nothing.
    const EnabledPrivilege debug(L"SeDebugPrivilege");
    const std::wstring program = LongFullPath(m_program);
    std::vector<Copy> copies;
    std::wstring unopened;
    if (!FindCopies(program, copies, &unopened))
        return {ExitCode::Failed,
                L"the running processes cannot be listed: error " + std::to_wstring(::GetLastError())};
    const std::wstring notOpened =
        unopened.empty() ? L"" : L"; process " + unopened + L" of that name cannot be opened";
    if (copies.empty())
        return {ExitCode::Unchanged, L"No copy of " + program + L" runs" + notOpened};
    if (AskUntilEnded(copies, m_waitMs))
        return {ExitCode::Done, L"The running " + program + L" ended" + notOpened};
    // Hung, suspended, or in a logon whose desktop the request does not reach: it would keep its
    // file, and so every upgrade and uninstall, for as long as it runs.
    const std::wstring unanswered = StillRunning(copies);
    const std::wstring running = EndByForce(copies);
    const std::wstring after =
        L" did not end within " + std::to_wstring(m_waitMs / 1000) + L" s of the quit request";
    if (!running.empty())
        return {ExitCode::Failed, program + L" still runs (process " + running + L"): it" + after +
                                      L" and cannot be ended" + notOpened};
    return {ExitCode::Done, L"The running " + program + L" ended; process " + unanswered + after +
                                L" and was ended by force" + notOpened};
}
