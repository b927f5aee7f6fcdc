#pragma once

#include <string>

// The access tool's exit codes, the same for every command; the installer acts on them.
enum class ExitCode {
    Done = 0,      // the folder is safe, the change made, the program started, its copies ended
    Unchanged = 1, // nothing to change: already so, nothing to take out, no copy running, no such file
    Usage = 2,     // wrong arguments
    Refused = 3,   // others may change the folder or the path is a link; no shell to start from; no PE file
    Failed = 4,    // a call failed: the line names it and its error
};

// What every command of the access tool ends with: its exit code, and one line for the person.
struct CommandResult {
    ExitCode code;
    std::wstring line;
};
