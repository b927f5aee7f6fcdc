#include "bench/common/FileTail.h"

#include "mirov/Handles.h"

namespace {

mirov::UniqueFileHandle OpenShared(const std::string& path) {
    return mirov::UniqueFileHandle(::CreateFileA(path.c_str(), GENERIC_READ,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

} // namespace

void FileTail::SkipToEnd() {
    m_partial.clear();
    m_offset = 0;
    const mirov::UniqueFileHandle file = OpenShared(m_path);
    LARGE_INTEGER size = {};
    if (file && ::GetFileSizeEx(file.Get(), &size))
        m_offset = static_cast<ULONGLONG>(size.QuadPart);
}

std::vector<std::string> FileTail::NewLines() {
    const mirov::UniqueFileHandle file = OpenShared(m_path);
    LARGE_INTEGER position = {};
    position.QuadPart = static_cast<LONGLONG>(m_offset);
    if (!file || !::SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN))
        return {};
    char buffer[1 << 16];
    DWORD read = 0;
    while (::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        m_partial.append(buffer, read);
        m_offset += read;
    }
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = m_partial.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = m_partial.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
    }
    m_partial.erase(0, start);
    return lines;
}
