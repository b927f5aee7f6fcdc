#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Reads what has been appended to a file since the last look: a journal or a trace log that
// another process writes while this one reads.
class FileTail {
public:
    explicit FileTail(std::string path) : m_path(std::move(path)) {}

    // Forgets everything written so far.
    void SkipToEnd();
    // The complete lines written since the last call, without their line ends; a line still being
    // written is kept for the next call.
    std::vector<std::string> NewLines();

private:
    std::string m_path;
    ULONGLONG m_offset = 0;
    std::string m_partial;
};
