#include "tests/support/OwnTrace.h"

#include <algorithm>

namespace {

constexpr char kMarker[] = "--- OwnTrace marker ---";
constexpr DWORD kMarkerWaitMs = 10000;

} // namespace

std::vector<std::string> OwnTrace::Take() {
    const DWORD self = ::GetCurrentProcessId();
    ::OutputDebugStringA(kMarker);
    for (DWORD waited = 0; waited < kMarkerWaitMs; waited += 10) {
        const std::vector<std::string> texts = m_capture.TextsOf(self);
        const auto marker = std::find(texts.begin() + m_taken, texts.end(), kMarker);
        if (marker != texts.end()) {
            std::vector<std::string> lines(texts.begin() + m_taken, marker);
            m_taken = (marker - texts.begin()) + 1;
            return lines;
        }
        ::Sleep(10);
    }
    return {"(the marker line never arrived)"};
}

std::string CallFailedLine(int error) {
    return "[BasicNamedPipe<char_t>::Call] failed, GetLastError returned " + std::to_string(error) + "\r\n";
}
