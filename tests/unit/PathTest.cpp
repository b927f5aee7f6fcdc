#include "mirov/Path.h"

#include "tests/support/TestFolder.h"
#include "tools/common/ChildProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

TEST(Path, DirectoryEndsAtLastBackslashElseFirstColon) {
    EXPECT_EQ(mirov::ExtractDirectory("C:\\Program Files\\Torvex\\TorvexHelp.exe"),
              "C:\\Program Files\\Torvex\\");
    EXPECT_EQ(mirov::ExtractDirectory("C:TorvexHelp.exe"), "C:");
    EXPECT_EQ(mirov::ExtractDirectory("D:sub:x.exe"), "D:");
    EXPECT_EQ(mirov::ExtractDirectory("TorvexHelp.exe"), "");
    EXPECT_EQ(mirov::ExtractDirectory(""), "");
}

TEST(Path, FileNameFollowsLastBackslashElseLastColon) {
    EXPECT_EQ(mirov::ExtractFileName("C:\\Apps\\TorvexHelp.exe"), "TorvexHelp.exe");
    EXPECT_EQ(mirov::ExtractFileName("C:TorvexHelp.exe"), "TorvexHelp.exe");
    EXPECT_EQ(mirov::ExtractFileName("TorvexHelp.exe"), "TorvexHelp.exe");
}

namespace {

// Runs a copy of this executable whose full path has exactly `length` characters and returns
// the name it reads for itself.
std::string ExeNameAtLength(const TestFolder& folder, size_t length) {
    const std::string exe = "TorvexUnitTests.exe";
    std::string sub = folder.Path();
    while (sub.size() + exe.size() + 1 < length) {
        const size_t room = length - sub.size() - exe.size() - 1;
        const std::string part(room > 40 ? 40 : room, 'd');
        sub += part + "\\";
        ::CreateDirectoryA(sub.c_str(), nullptr);
    }
    const std::string path = sub + std::string(length - sub.size() - exe.size(), 'p') + exe;
    EXPECT_EQ(path.size(), length);
    EXPECT_TRUE(::CopyFileA((TestFolder::BinFolder() + exe).c_str(), path.c_str(), FALSE));
    ChildProcess probe;
    const std::string out = folder / "name.txt";
    EXPECT_TRUE(probe.Start(path, "--probe exe-name \"" + out + "\""));
    EXPECT_TRUE(probe.Wait(30000));
    std::ifstream file(out, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

} // namespace

TEST(Path, ExeNameIsWholeAtAndAroundTheFirstBufferSize) {
    TestFolder folder(CurrentTestName());
    for (size_t length : {127u, 128u, 129u, 250u}) {
        const std::string name = ExeNameAtLength(folder, length);
        EXPECT_EQ(name.size(), length) << name;
        EXPECT_EQ(name.substr(name.size() - 19), "TorvexUnitTests.exe");
    }
}
