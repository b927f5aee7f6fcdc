#include "mirov/Path.h"

#include <windows.h>

namespace mirov {

std::string GetExeFileName() {
    std::string buffer(128, '\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
        // A full buffer may hold a cut name: ask again with twice the room.
        if (length == buffer.size()) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        buffer.resize(length);
        return buffer;
    }
}

std::string ExtractDirectory(const std::string& path) {
    size_t end = path.rfind('\\');
    if (end == std::string::npos)
        end = path.find(':');
    return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

std::string ExtractFileName(const std::string& path) {
    size_t separator = path.rfind('\\');
    if (separator == std::string::npos)
        separator = path.rfind(':');
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

} // namespace mirov
