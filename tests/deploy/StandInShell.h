#pragma once

#include "tools/common/ChildProcess.h"

// The desktop shell for one test (TestShell.exe): started with the test's own token, or with the
// limited token linked to it, which is what a logged-on administrator's shell has; ended with it.
// The simulated library's variables of the test's environment are the user's for as long: put in
// the user's registry environment, where a logon takes them from.
class StandInShell {
public:
    enum class Token { Limited, Elevated };

    explicit StandInShell(Token token);
    ~StandInShell();
    StandInShell(const StandInShell&) = delete;
    StandInShell& operator=(const StandInShell&) = delete;

    // True once its window is the shell window.
    bool Ready() const { return m_ready; }
    DWORD Pid() const { return m_pid; }

private:
    bool Start(Token token);
    static void SetUserVariables(bool set);

    mirov::UniqueHandle m_process;
    DWORD m_pid = 0;
    bool m_ready = false;
};

// Whether the process runs with an elevated token; false also when it cannot be told.
bool IsElevated(HANDLE process);
// The id of the process that started the process, or 0.
DWORD ParentOf(DWORD pid);
