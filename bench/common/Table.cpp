#include "bench/common/Table.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

Table::Table(std::vector<std::string> header, size_t textColumns) : m_textColumns(textColumns) {
    m_rows.push_back(std::move(header));
}

void Table::Add(std::vector<std::string> row) {
    row.resize(m_rows.front().size());
    m_rows.push_back(std::move(row));
}

void Table::Print() const {
    std::vector<size_t> widths(m_rows.front().size(), 0);
    for (const auto& row : m_rows) {
        for (size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    for (const auto& row : m_rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            const std::string padding(widths[i] - row[i].size(), ' ');
            line += i == 0 ? "" : "  ";
            line += i < m_textColumns ? row[i] + padding : padding + row[i];
        }
        line.erase(line.find_last_not_of(' ') + 1);
        std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
}

std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}
