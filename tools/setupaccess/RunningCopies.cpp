#include "tools/setupaccess/RunningCopies.h"

#include "mirov/Handles.h"

#include <tlhelp32.h>
#include <windows.h>

#include <utility>
#include <vector>

namespace {

// The program's window as other programs find it, and its quit request.
constexpr wchar_t kWindowClass[] = L"TMainForm";
constexpr wchar_t kWindowTitle[] = L"Torvex Help";
constexpr UINT kQuitMessage = WM_USER;
constexpr WPARAM kQuitWParam = 0x55;
constexpr DWORD kPollMs = 100;

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

// The processes whose image is the program, opened to be waited for; false when none can be listed.
bool FindCopies(const std::wstring& program, std::vector<Copy>& copies) {
    const mirov::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.Get() == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == 0 || entry.th32ProcessID == ::GetCurrentProcessId())
            continue;
        mirov::UniqueHandle process(
            ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        if (process && SamePath(ImageOf(process.Get()), program))
            copies.push_back({std::move(process), entry.th32ProcessID, {}});
    }
    return true;
}

// Posts the quit request to the copy's windows that have not had it yet.
void AskToQuit(Copy& copy) {
    for (HWND window = ::FindWindowExW(nullptr, nullptr, kWindowClass, kWindowTitle); window;
         window = ::FindWindowExW(nullptr, window, kWindowClass, kWindowTitle)) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        bool asked = false;
        for (HWND done : copy.asked)
            asked = asked || done == window;
        if (owner == copy.id && !asked && ::PostMessageW(window, kQuitMessage, kQuitWParam, 0))
            copy.asked.push_back(window);
    }
}

bool HasEnded(const Copy& copy) {
    return ::WaitForSingleObject(copy.process.Get(), 0) == WAIT_OBJECT_0;
}

} // namespace

RunningCopies::RunningCopies(std::wstring program, DWORD waitMs)
    : m_program(std::move(program)), m_waitMs(waitMs) {}

RunningCopies::Result RunningCopies::End() const {
    const std::wstring program = LongFullPath(m_program);
    std::vector<Copy> copies;
    if (!FindCopies(program, copies))
        return {Outcome::Failed,
                L"the running processes cannot be listed: error " + std::to_wstring(::GetLastError())};
    if (copies.empty())
        return {Outcome::NoneRan, L"No copy of " + program + L" runs"};
    const ULONGLONG end = ::GetTickCount64() + m_waitMs;
    for (;;) {
        std::wstring running;
        for (Copy& copy : copies) {
            if (HasEnded(copy))
                continue;
            AskToQuit(copy);
            running += (running.empty() ? L"" : L", ") + std::to_wstring(copy.id);
        }
        if (running.empty())
            return {Outcome::Ended, L"The running " + program + L" ended"};
        if (::GetTickCount64() >= end)
            return {Outcome::StillRunning, program + L" still runs (process " + running + L") after " +
                                               std::to_wstring(m_waitMs / 1000) + L" s"};
        ::Sleep(kPollMs);
    }
}
