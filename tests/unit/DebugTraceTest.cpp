#include "mirov/DebugTrace.h"

#include "tools/common/DebugOutputCapture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Line(const char* format, ...) {
    char buffer[mirov::kTraceBufferSize];
    va_list args;
    va_start(args, format);
    const size_t length = mirov::FormatTraceLine(buffer, format, args);
    va_end(args);
    EXPECT_EQ(buffer[length], '\0');
    return std::string(buffer, length);
}

} // namespace

TEST(DebugTrace, EveryLineEndsInOneCrLf) {
    EXPECT_EQ(Line("abc"), "abc\r\n");
    EXPECT_EQ(Line("abc\n"), "abc\r\n");
    EXPECT_EQ(Line("x \t\r\n"), "x\r\n");
    EXPECT_EQ(Line(""), "\r\n");
    EXPECT_EQ(Line(" \v\f "), "\r\n");
    EXPECT_EQ(Line("code %d", -5), "code -5\r\n");
}

TEST(DebugTrace, BytesAbove0x7FAreNeverWhiteSpace) {
    EXPECT_EQ(Line("caf\xA0"), "caf\xA0\r\n");
    EXPECT_EQ(Line("\x85 "), "\x85\r\n");
}

TEST(DebugTrace, LongTextIsCutTo4093Characters) {
    const std::string text(5000, 'a');
    const std::string line = Line("%s", text.c_str());
    ASSERT_EQ(line.size(), 4093u + 2);
    EXPECT_TRUE(line == std::string(4093, 'a') + "\r\n");

    // White space at the cut is trimmed like any other trailing white space.
    const std::string padded = std::string(4090, 'b') + std::string(100, ' ');
    EXPECT_TRUE(Line("%s", padded.c_str()) == std::string(4090, 'b') + "\r\n");
}

TEST(DebugTrace, ReachesTheDebuggerAsExactBytes) {
    DebugOutputCapture capture;
    ASSERT_TRUE(capture.IsListening());
    mirov::DebugTrace("abc");
    mirov::DebugTrace("[BasicNamedPipe::Close] failed! GetLastError returned %d\n", 6);
    mirov::DebugTrace("%s", std::string(5000, 'z').c_str());
    const DWORD self = ::GetCurrentProcessId();
    ASSERT_TRUE(capture.WaitForCount(self, 3, 5000));
    const auto texts = capture.TextsOf(self);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "abc\r\n");
    EXPECT_EQ(texts[1], "[BasicNamedPipe::Close] failed! GetLastError returned 6\r\n");
    // The protocol's shared buffer carries 4091 characters after the process id: a listener sees
    // the longest line's first 4091 bytes (a debugger attached to the process sees all of it).
    EXPECT_TRUE(texts[2] == std::string(4091, 'z'));
}
