#include "mirov/DebugTrace.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace mirov {
namespace {

// The C locale's white space; bytes of 0x80 and above are text in the system code page.
bool IsTraceSpace(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u == ' ' || (u >= '\t' && u <= '\r');
}

} // namespace

size_t FormatTraceLine(char (&buffer)[kTraceBufferSize], const char* format, va_list args) {
    buffer[0] = '\0';
    const int count = std::vsnprintf(buffer, kTraceMaxText + 1, format, args);
    size_t length;
    if (count >= 0)
        length = static_cast<size_t>(count) > kTraceMaxText ? kTraceMaxText : static_cast<size_t>(count);
    else // a formatter that reports a cut text with a negative count: keep what it wrote
        length = strnlen(buffer, kTraceMaxText);
    while (length > 0 && IsTraceSpace(buffer[length - 1]))
        --length;
    buffer[length] = '\r';
    buffer[length + 1] = '\n';
    buffer[length + 2] = '\0';
    return length + 2;
}

void DebugTrace(const char* format, ...) {
    char buffer[kTraceBufferSize];
    va_list args;
    va_start(args, format);
    FormatTraceLine(buffer, format, args);
    va_end(args);
    ::OutputDebugStringA(buffer);
}

} // namespace mirov
