#pragma once

#include "installer/CommandResult.h"

#include <string>

// The machine a Windows program or library is built for, read from its PE header (the file header's
// Machine field), so that the installer installs the build of the program that can load it. Every
// offset the file gives is checked against its size before anything there is read.
class PeMachine {
public:
    explicit PeMachine(std::wstring path);

    // Done with "x64" or "x86" as the line; Unchanged with "none" when there is no such file; Refused
    // when it is no PE file, or one for another machine; Failed when it cannot be read.
    CommandResult Read() const;

private:
    CommandResult NotPe() const;
    CommandResult CannotRead() const; // with the last error

    std::wstring m_path;
};
