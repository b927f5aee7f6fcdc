#include "tests/deploy/StandInShell.h"

#include "mirov/Handles.h"
#include "tests/support/TestFolder.h"

#include <tlhelp32.h>
#include <windows.h>

#include <string>

namespace {

constexpr char kUserEnvironmentKey[] = "Environment";
constexpr const char* kSimVariables[] = {"TORVEX_SIM_KEY", "TORVEX_SIM_JOURNAL"};

// A primary token to start the shell with: the linked limited one, or a copy of the test's own.
mirov::UniqueHandle ShellToken(StandInShell::Token token) {
    mirov::UniqueHandle own, primary;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, own.Put()))
        return primary;
    mirov::UniqueHandle source;
    if (token == StandInShell::Token::Limited) {
        TOKEN_LINKED_TOKEN linked = {};
        DWORD size = 0;
        if (!::GetTokenInformation(own.Get(), TokenLinkedToken, &linked, sizeof linked, &size))
            return primary;
        source.Reset(linked.LinkedToken);
    } else {
        source = std::move(own);
    }
    ::DuplicateTokenEx(source.Get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary,
                       primary.Put());
    return primary;
}

} // namespace

StandInShell::StandInShell(Token token) {
    SetUserVariables(true);
    if (!Start(token))
        return;
    for (int i = 0; i < 200 && !m_ready; ++i) {
        DWORD pid = 0;
        const HWND shell = ::GetShellWindow();
        m_ready = shell && ::GetWindowThreadProcessId(shell, &pid) && pid == m_pid;
        if (!m_ready)
            ::Sleep(25);
    }
}

StandInShell::~StandInShell() {
    SetUserVariables(false);
    if (!m_process)
        return;
    ::TerminateProcess(m_process.Get(), 0);
    ::WaitForSingleObject(m_process.Get(), 10000);
}

void StandInShell::SetUserVariables(bool set) {
    mirov::UniqueHkey key;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kUserEnvironmentKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          key.Put(), nullptr) != ERROR_SUCCESS)
        return;
    for (const char* name : kSimVariables) {
        char value[512] = {};
        const DWORD length = ::GetEnvironmentVariableA(name, value, sizeof value);
        if (set && length > 0 && length < sizeof value)
            ::RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), length + 1);
        else
            ::RegDeleteValueA(key.Get(), name);
    }
}

bool StandInShell::Start(Token token) {
    const mirov::UniqueHandle primary = ShellToken(token);
    std::string commandLine = "\"" + TestFolder::BinFolder() + "TestShell.exe\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!primary || !::CreateProcessAsUserA(primary.Get(), nullptr, commandLine.data(), nullptr, nullptr,
                                            FALSE, 0, nullptr, nullptr, &startup, &started))
        return false;
    m_process.Reset(started.hProcess);
    ::CloseHandle(started.hThread);
    m_pid = started.dwProcessId;
    return true;
}

bool IsElevated(HANDLE process) {
    mirov::UniqueHandle token;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    return ::OpenProcessToken(process, TOKEN_QUERY, token.Put()) &&
           ::GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated;
}

DWORD ParentOf(DWORD pid) {
    mirov::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.Get(), &entry); more;
         more = ::Process32Next(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == pid)
            return entry.th32ParentProcessID;
    }
    return 0;
}
