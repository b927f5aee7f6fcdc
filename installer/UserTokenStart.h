#pragma once

#include "installer/CommandResult.h"
#include "mirov/Handles.h"

#include <windows.h>

#include <optional>
#include <string>

// Starts a program as a child of the desktop shell's process, so that it runs with the shell's token
// (the logged-on user's normal one, as at every logon) rather than the elevated token of its caller,
// and with that user's environment rather than its caller's.
// Without a shell process, or with a shell that is itself elevated, nothing is started.
class UserTokenStart {
public:
    explicit UserTokenStart(std::wstring program);

    // In the program's own folder. Done when started; Refused without a shell to start it from, or
    // with an elevated one; Failed when a call failed.
    CommandResult Start() const;

private:
    // The shell's process, opened to be a parent; nothing then, else why there is none to use.
    std::optional<CommandResult> OpenShell(mirov::UniqueHandle& shell) const;
    CommandResult StartAsChildOf(HANDLE parent) const;

    std::wstring m_program;
};
