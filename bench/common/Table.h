#pragma once

#include <string>
#include <vector>

// A plain-text table: the first `textColumns` columns left-aligned, the others (figures) right-aligned.
class Table {
public:
    Table(std::vector<std::string> header, size_t textColumns);
    void Add(std::vector<std::string> row);
    void Print() const;

private:
    std::vector<std::vector<std::string>> m_rows;
    size_t m_textColumns;
};

// printf-style formatting into a string.
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
