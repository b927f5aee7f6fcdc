#include "tests/support/TestFolder.h"

#include "mirov/Path.h"

#include <windows.h>

#include <fstream>

TestFolder::TestFolder(const std::string& name) : m_path(TempRoot() + name + "\\") {
    RemoveTree(m_path);
    ::CreateDirectoryA(m_path.c_str(), nullptr);
}

TestFolder::~TestFolder() {
    RemoveTree(m_path);
}

bool TestFolder::CopyFromBin(const std::string& name, const std::string& as) const {
    return ::CopyFileA((BinFolder() + name).c_str(), (m_path + (as.empty() ? name : as)).c_str(), FALSE) != 0;
}

bool TestFolder::MakeFolder(const std::string& name) const {
    return ::CreateDirectoryA((m_path + name).c_str(), nullptr) != 0;
}

bool TestFolder::WriteFile(const std::string& name, const std::string& content) const {
    std::ofstream file(m_path + name, std::ios::binary);
    file << content;
    return static_cast<bool>(file);
}

std::string TestFolder::BinFolder() {
    return mirov::ExtractDirectory(mirov::GetExeFileName());
}

std::string TestFolder::TempRoot() {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string root = std::string(temp) + "torvex-tests\\";
    ::CreateDirectoryA(root.c_str(), nullptr);
    return root;
}

void TestFolder::RemoveTree(const std::string& path) {
    std::string folder = path;
    if (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string child = folder + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                ::DeleteFileA(child.c_str());
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(folder.c_str());
}
