#pragma once

#include "mirov/Error.h"

#include <string>

// The program's title: the executable's file name up to its first full stop, every letter after
// the first in lower case ("Torvexhelp" for TorvexHelp.exe).
std::string ProgramTitle(const std::string& exePath);

// The error's message with a full stop added when it ends in a character above the full stop.
std::string ErrorBoxText(const std::string& message);

// Shows an error of the program's error type to the user. Throws nothing: it runs inside window
// procedures, where no exception may pass through the system's frames; without memory for the
// usual text and caption, the message is shown as it is under the system's caption.
void ShowErrorBox(const mirov::Error& error) noexcept;
