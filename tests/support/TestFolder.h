#pragma once

#include <string>

// A fresh folder for one test, removed with everything in it when the test ends.
class TestFolder {
public:
    explicit TestFolder(const std::string& name);
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::string& Path() const { return m_path; } // ends in a backslash
    std::string operator/(const std::string& name) const { return m_path + name; }

    // Copies a file of the build's bin folder into this folder, under another name if given.
    bool CopyFromBin(const std::string& name, const std::string& as = std::string()) const;
    bool MakeFolder(const std::string& name) const;
    bool WriteFile(const std::string& name, const std::string& content) const;

    static std::string BinFolder();
    static std::string TempRoot();
    static void RemoveTree(const std::string& path);

private:
    std::string m_path;
};

// The current test's "Suite.Name", usable as a file or key name (TestName.cpp: test programs only).
std::string CurrentTestName();
