#pragma once

#include <string>

// States a precondition that the program's own code must have made true. A failed check tells the
// user which one failed and ends the process with exit code 3; it stays active in release builds.
#define MIROV_CHECK(condition) ((condition) ? (void)0 : ::mirov::CheckFailed(#condition, __FILE__, __LINE__))

namespace mirov {

constexpr int kCheckExitCode = 3;

// "Assertion failed: <expression>, file <file>, line <line>", the part before the number cut at 245.
std::string CheckMessage(const char* expression, const char* file, int line);

[[noreturn]] void CheckFailed(const char* expression, const char* file, int line);

} // namespace mirov
