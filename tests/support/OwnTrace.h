#pragma once

#include "tools/common/DebugOutputCapture.h"

#include <string>
#include <vector>

// The debugger lines of this process, as the exact bytes written.
class OwnTrace {
public:
    bool IsListening() const { return m_capture.IsListening(); }
    // The lines written since the last call. A marker line is written and awaited first, so every
    // line written before the call is in.
    std::vector<std::string> Take();

private:
    DebugOutputCapture m_capture;
    size_t m_taken = 0;
};

// The line the pipe writes when a call fails with that error.
std::string CallFailedLine(int error);
