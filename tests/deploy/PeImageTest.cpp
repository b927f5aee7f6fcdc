// The shipped binaries of both architectures, read from their PE headers: the executable imports
// only Windows' own DLLs and looks up the vendor library's entry points by their plain names, and
// the simulated library exports exactly those 24 undecorated names, as a real vendor library does.
#include "PeImage.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include "SimTorvex.h"

#include <set>
#include <string>
#include <vector>

namespace {

// DLLs every Windows installation has; a compiler runtime DLL (libstdc++, libgcc, winpthread) is
// not among them and would have to be shipped.
const std::set<std::string> kWindowsDlls = {"kernel32.dll", "user32.dll",  "advapi32.dll", "msvcrt.dll",
                                            "gdi32.dll",    "shell32.dll", "ole32.dll",    "ntdll.dll",
                                            "version.dll",  "shlwapi.dll", "psapi.dll",    "comctl32.dll"};

struct Build {
    const char* name;
    WORD machine;
    std::string (*bin)();
};

std::string X64Bin() {
    return TestFolder::BinFolder();
}

// scripts/test builds x86 beside x64 before it runs the tests.
std::string X86Bin() {
    return TestFolder::BinFolder() + "..\\..\\x86\\bin\\";
}

// Names the build in test output instead of its bytes.
void PrintTo(const Build& build, std::ostream* out) {
    *out << build.name;
}

const Build kBuilds[] = {
    {"x64", IMAGE_FILE_MACHINE_AMD64, X64Bin},
    {"x86", IMAGE_FILE_MACHINE_I386, X86Bin},
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> NotWindowsOwn(const std::vector<std::string>& imports) {
    std::vector<std::string> foreign;
    for (const std::string& dll : imports) {
        if (!kWindowsDlls.count(Lower(dll)))
            foreign.push_back(dll);
    }
    return foreign;
}

class Binaries : public ::testing::TestWithParam<Build> {
protected:
    // Reads a file of this build's bin folder; a failure names the file.
    void Load(const char* file, PeImage& image) {
        const std::string path = GetParam().bin() + file;
        ASSERT_TRUE(image.Load(path))
            << path << ": " << image.Error()
            << (GetParam().machine == IMAGE_FILE_MACHINE_I386 ? " (the x86 build is made by scripts/test)"
                                                              : "");
    }
};

TEST_P(Binaries, ExecutableIsAWindowsGuiProgramForItsMachine) {
    PeImage exe;
    Load("TorvexHelp.exe", exe);
    EXPECT_EQ(exe.Machine(), GetParam().machine);
    EXPECT_FALSE(exe.IsDll());
    // A console program would open a console window at every logon.
    EXPECT_EQ(exe.Subsystem(), IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST_P(Binaries, ExecutableImportsOnlyWindowsOwnDlls) {
    PeImage exe;
    Load("TorvexHelp.exe", exe);
    EXPECT_FALSE(exe.Imports().empty());
    EXPECT_EQ(NotWindowsOwn(exe.Imports()), std::vector<std::string>());
    EXPECT_EQ(exe.DelayLoadImports(), std::vector<std::string>());
    // The vendor library is loaded at run time, so that a missing one can be reported.
    for (const std::string& dll : exe.Imports())
        EXPECT_NE(Lower(dll), "torvex.dll");
}

TEST_P(Binaries, LibraryExportsTheTwentyFourUndecoratedNames) {
    PeImage library;
    Load("Torvex.dll", library);
    EXPECT_EQ(library.Machine(), GetParam().machine);
    EXPECT_TRUE(library.IsDll());
    // Exactly these: a decorated name ("_TorvexInit@0") would not bind by its plain name.
    EXPECT_EQ(Sorted(library.Exports()), Sorted(kTorvexExports));
    EXPECT_EQ(NotWindowsOwn(library.Imports()), std::vector<std::string>());
}

TEST_P(Binaries, ExecutableLooksUpTheNamesTheLibraryExports) {
    PeImage exe;
    Load("TorvexHelp.exe", exe);
    for (const std::string& name : kTorvexExports)
        EXPECT_TRUE(exe.ContainsString(name)) << name;
}

TEST_P(Binaries, LibraryWithoutAnExportIsToldApart) {
    PeImage library;
    Load("TorvexMissingExport.dll", library);
    std::vector<std::string> missing;
    const std::vector<std::string> exported = Sorted(library.Exports());
    for (const std::string& name : Sorted(kTorvexExports)) {
        if (!std::binary_search(exported.begin(), exported.end(), name))
            missing.push_back(name);
    }
    EXPECT_EQ(missing, std::vector<std::string>{"IsWhirroThreeSupported"});
    EXPECT_EQ(exported.size(), kTorvexExports.size() - 1);
}

INSTANTIATE_TEST_SUITE_P(Both, Binaries, ::testing::ValuesIn(kBuilds),
                         [](const ::testing::TestParamInfo<Build>& info) {
                             return std::string(info.param.name);
                         });

// ---- the reader itself, on files that are not what they claim ----

std::vector<unsigned char> FileBytes(const std::string& path) {
    std::vector<unsigned char> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    for (int c; (c = std::fgetc(file)) != EOF;)
        bytes.push_back(static_cast<unsigned char>(c));
    std::fclose(file);
    return bytes;
}

std::vector<unsigned char> Bytes(const std::string& text) {
    return std::vector<unsigned char>(text.begin(), text.end());
}

void SetHeaderOffset(std::vector<unsigned char>& bytes, DWORD offset) {
    bytes.resize(std::max<size_t>(bytes.size(), sizeof(IMAGE_DOS_HEADER)));
    std::memcpy(bytes.data() + offsetof(IMAGE_DOS_HEADER, e_lfanew), &offset, sizeof offset);
}

TEST(PeImageReader, RefusesWhatIsNoPeImage) {
    PeImage image;
    EXPECT_FALSE(image.Parse(Bytes("MZ but not a library")));
    EXPECT_FALSE(image.Parse({}));
    EXPECT_FALSE(image.Load(TestFolder::BinFolder() + "no such file.dll"));
}

TEST(PeImageReader, RefusesHeaderOffsetsPastTheEnd) {
    std::vector<unsigned char> bytes = Bytes("MZ");
    for (DWORD offset : {DWORD(0x7FFFFFF0), DWORD(0xFFFFFFFF), DWORD(sizeof(IMAGE_DOS_HEADER))}) {
        SetHeaderOffset(bytes, offset);
        PeImage image;
        EXPECT_FALSE(image.Parse(bytes)) << offset;
        EXPECT_EQ(image.Error(), "no PE header") << offset;
    }
}

TEST(PeImageReader, RefusesATruncatedImage) {
    const std::vector<unsigned char> whole = FileBytes(TestFolder::BinFolder() + "Torvex.dll");
    ASSERT_GT(whole.size(), 4096u);
    PeImage image;
    ASSERT_TRUE(image.Parse(whole)) << image.Error();
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, whole.data(), sizeof dos);
    // Cut inside the PE headers, and then so short that the section table is gone.
    for (size_t keep : {static_cast<size_t>(dos.e_lfanew) + 10, static_cast<size_t>(dos.e_lfanew) + 100}) {
        EXPECT_FALSE(image.Parse(std::vector<unsigned char>(whole.begin(), whole.begin() + keep))) << keep;
        EXPECT_FALSE(image.Error().empty());
    }
}

} // namespace
