// The package carries one version, the project's (TORVEX_VERSION, from project(VERSION)): in the
// version resource of every program it ships and of the installer, and in the program's manifest.
// The uninstall entry's DisplayVersion is checked where an install writes it (InstallerTest.cpp).
#include "mirov/Handles.h"
#include "tests/deploy/SetupRun.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

// The file's version resource, empty when it has none.
std::vector<BYTE> VersionResource(const std::string& path) {
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), nullptr);
    std::vector<BYTE> resource(size);
    if (size == 0 || !::GetFileVersionInfoA(path.c_str(), 0, size, resource.data()))
        resource.clear();
    return resource;
}

// The fixed part's file and product versions as "a.b.c.d / a.b.c.d".
std::string FixedVersions(const std::vector<BYTE>& resource) {
    void* found = nullptr;
    UINT size = 0;
    if (resource.empty() || !::VerQueryValueA(resource.data(), "\\", &found, &size) ||
        size < sizeof(VS_FIXEDFILEINFO))
        return "no fixed version";
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(found);
    const auto text = [](DWORD high, DWORD low) {
        return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
               std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
    };
    return text(fixed->dwFileVersionMS, fixed->dwFileVersionLS) + " / " +
           text(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
}

// A string of the resource's US English, Unicode block (the one the resources here have).
std::string VersionString(const std::vector<BYTE>& resource, const std::string& name) {
    void* found = nullptr;
    UINT size = 0;
    const std::string query = "\\StringFileInfo\\040904B0\\" + name;
    if (resource.empty() || !::VerQueryValueA(resource.data(), query.c_str(), &found, &size) || size == 0)
        return "no " + name;
    return static_cast<const char*>(found);
}

// The program's manifest (resource 1), read without running the program; "" when there is none.
std::string Manifest(const std::string& path) {
    const mirov::UniqueModule module(
        ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    const HRSRC found = module ? ::FindResourceA(module.Get(), MAKEINTRESOURCEA(1), RT_MANIFEST) : nullptr;
    const HGLOBAL loaded = found ? ::LoadResource(module.Get(), found) : nullptr;
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    return bytes ? std::string(static_cast<const char*>(bytes), ::SizeofResource(module.Get(), found))
                 : std::string();
}

} // namespace

TEST(Package, EveryProgramAndTheInstallerCarryTheProjectVersion) {
    const std::string whyNot = WhyInstallerCannotRun();
    if (!whyNot.empty())
        GTEST_SKIP() << whyNot;
    const std::string version = TORVEX_VERSION;
    for (const char* file : {"x64\\TorvexHelp.exe", "x86\\TorvexHelp.exe", "x64\\TorvexSetupAccess.exe",
                             "TorvexHelp-Setup.exe"}) {
        SCOPED_TRACE(file);
        const std::vector<BYTE> resource = VersionResource(PackageFolder() + file);
        EXPECT_EQ(FixedVersions(resource), version + " / " + version);
        EXPECT_EQ(VersionString(resource, "FileVersion"), version);
        EXPECT_EQ(VersionString(resource, "ProductVersion"), version);
    }
    for (const char* program : {"x64\\TorvexHelp.exe", "x86\\TorvexHelp.exe"}) {
        EXPECT_NE(Manifest(PackageFolder() + program).find("version=\"" + version + "\""), std::string::npos)
            << program << "'s manifest:\n"
            << Manifest(PackageFolder() + program);
    }
}
