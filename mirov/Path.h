#pragma once

#include <string>

namespace mirov {

// Full file name of the running executable; empty when the system cannot tell it.
std::string GetExeFileName();

// Everything up to and including the last backslash; without one, up to and including the first
// colon; with neither, nothing.
std::string ExtractDirectory(const std::string& path);

// The text after the last backslash; without one, after the last colon; with neither, all of it.
std::string ExtractFileName(const std::string& path);

} // namespace mirov
