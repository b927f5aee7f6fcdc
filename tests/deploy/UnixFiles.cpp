#include "tests/deploy/UnixFiles.h"

#include "mirov/Handles.h"
#include "tests/support/TestFolder.h"

#include <windows.h>

#include <vector>

namespace {

constexpr DWORD kUnixCommandTimeoutMs = 10000;

// Wine's own export: the Unix path of a Windows path, allocated on the process heap.
using UnixFileName = char*(CDECL*)(const wchar_t*);

UnixFileName WineUnixFileName() {
    return reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
}

// In single quotes for the Unix shell; "" when not under Wine or the path holds a quote.
std::string UnixPath(const std::string& path) {
    const UnixFileName convert = WineUnixFileName();
    if (!convert)
        return std::string();
    std::vector<wchar_t> wide(path.size() + 1);
    ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    char* unix = convert(wide.data());
    if (!unix)
        return std::string();
    const std::string result(unix);
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return result.find_first_of("'\"") == std::string::npos ? "'" + result + "'" : std::string();
}

// Wine starts a Unix program without a process to wait for, so the script removes a marker file
// when it succeeded, and the wait is for the marker to go.
bool RunUnixScript(const std::string& script) {
    const std::string marker =
        TestFolder::TempRoot() + "unix-" + std::to_string(::GetCurrentProcessId()) + ".pending";
    const bool made = mirov::UniqueFileHandle(::CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr,
                                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))
                          .IsValid();
    const std::string unixMarker = UnixPath(marker);
    if (!made || unixMarker.empty())
        return false;
    std::string command = "Z:\\bin\\sh -c \"" + script + " && rm -f " + unixMarker + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &started))
        return false;
    const mirov::UniqueHandle process(started.hProcess);
    const mirov::UniqueHandle thread(started.hThread);
    const ULONGLONG end = ::GetTickCount64() + kUnixCommandTimeoutMs;
    while (::GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (::GetTickCount64() > end) {
            ::DeleteFileA(marker.c_str());
            return false;
        }
        ::Sleep(20);
    }
    return true;
}

} // namespace

bool IsUnderWine() {
    return WineUnixFileName() != nullptr;
}

bool SetUnixMode(const std::string& path, const char* mode) {
    const std::string unix = UnixPath(path);
    return !unix.empty() && RunUnixScript(std::string("chmod ") + mode + " " + unix);
}

bool MakeUnixLink(const std::string& target, const std::string& link) {
    const std::string from = UnixPath(target), to = UnixPath(link);
    return !from.empty() && !to.empty() && RunUnixScript("ln -s " + from + " " + to);
}

bool RemoveUnixLink(const std::string& link) {
    const std::string unix = UnixPath(link);
    return !unix.empty() && RunUnixScript("rm -f " + unix);
}
