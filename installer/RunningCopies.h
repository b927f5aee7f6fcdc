#pragma once

#include "installer/CommandResult.h"

#include <windows.h>

#include <string>

// Ends the running copies of the program before its file is replaced or removed. A copy is a
// process whose image is the program's file (full path, case-insensitive); each is asked to quit
// by the quit request posted to its own windows of the program's class and title, and waited for.
// Such windows of any other process are left alone: another program may copy class and title.
// A copy started a moment ago may not have its window yet; it is asked once it has one. A copy that
// does not end within the wait (hung, suspended, or in another logon, whose desktop the request does
// not reach) is ended by force, with the privilege administrators have for opening any process.
class RunningCopies {
public:
    RunningCopies(std::wstring program, DWORD waitMs);

    // Waits at most waitMs, read from the clock, for every copy found to quit; then ends the others.
    // Done when every copy ended, Unchanged when none ran, Failed when one still runs or the running
    // processes cannot be listed.
    CommandResult End() const;

private:
    std::wstring m_program;
    DWORD m_waitMs;
};
