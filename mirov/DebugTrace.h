#pragma once

#include <cstdarg>
#include <cstddef>

namespace mirov {

constexpr size_t kTraceBufferSize = 4096;
constexpr size_t kTraceMaxText = kTraceBufferSize - 3; // room for CR, LF and the terminating zero

// Writes one printf-style line to the debugger output; the line always ends in a single CR LF.
void DebugTrace(const char* format, ...);

// Builds the bytes DebugTrace hands to OutputDebugStringA; returns the length before the zero.
size_t FormatTraceLine(char (&buffer)[kTraceBufferSize], const char* format, va_list args);

} // namespace mirov
