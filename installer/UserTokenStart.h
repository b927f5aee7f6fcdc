#pragma once

#include "mirov/Handles.h"

#include <windows.h>

#include <string>

// Starts a program as a child of the desktop shell's process, so that it runs with the shell's token
// (the logged-on user's normal one, as at every logon) rather than the elevated token of its caller,
// and with that user's environment rather than its caller's.
// Without a shell process, or with a shell that is itself elevated, nothing is started.
class UserTokenStart {
public:
    enum class Outcome { Started, NoShell, ShellElevated, Failed };
    struct Result {
        Outcome outcome;
        std::wstring message;
    };

    explicit UserTokenStart(std::wstring program);

    Result Start() const; // in the program's own folder

private:
    // The shell's process, opened to be a parent; or why there is none to use.
    Result OpenShell(mirov::UniqueHandle& shell) const;
    Result StartAsChildOf(HANDLE parent) const;

    std::wstring m_program;
};
