// The library's machine as the installer reads it, from the PE header, whose offsets are the file's
// word: checked against its size before anything there is read.
#include "installer/PeMachine.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// A DOS header ("MZ") whose PE offset is peOffset, followed by "PE\0\0" and an x64 machine field,
// the file cut there: the rest of the file header is missing.
std::string CutPeFile(unsigned peOffset) {
    std::string bytes(64, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    for (unsigned i = 0; i < 4; ++i)
        bytes[0x3C + i] = static_cast<char>(peOffset >> (8 * i));
    return bytes + std::string("PE\0\0\x64\x86", 6);
}

TEST(PeMachine, ReadsTheLibrarysMachineAndRefusesHeadersBeyondTheFilesEnd) {
    const TestFolder folder(CurrentTestName());
    ASSERT_TRUE(folder.CopyFromBin("Torvex.dll"));
    const CommandResult library = PeMachine(Wide(folder / "Torvex.dll")).Read();
    EXPECT_EQ(library.code, ExitCode::Done);
    EXPECT_EQ(library.line, sizeof(void*) == 8 ? L"x64" : L"x86");

    // Headers cut short, and an offset past the end (negative as the signed field reads it).
    ASSERT_TRUE(folder.WriteFile("Cut.dll", CutPeFile(64)));
    ASSERT_TRUE(folder.WriteFile("Far.dll", CutPeFile(0xFFFFFFF0u)));
    for (const char* name : {"Cut.dll", "Far.dll"}) {
        const CommandResult result = PeMachine(Wide(folder / name)).Read();
        EXPECT_EQ(result.code, ExitCode::Refused) << name;
        EXPECT_EQ(result.line, Wide(folder / name) + L": not a Windows program or library (no PE header)");
    }
}

} // namespace
