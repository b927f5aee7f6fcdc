#include "mirov/Path.h"

#include <windows.h>

namespace mirov {

namespace {

DWORD ModuleFileName(char* buffer, DWORD size) {
    return ::GetModuleFileNameA(nullptr, buffer, size);
}

DWORD ModuleFileName(wchar_t* buffer, DWORD size) {
    return ::GetModuleFileNameW(nullptr, buffer, size);
}

template <typename String> String ExeFileName() {
    String buffer(128, typename String::value_type());
    for (;;) {
        const DWORD length = ModuleFileName(&buffer[0], static_cast<DWORD>(buffer.size()));
        // A full buffer may hold a cut name: ask again with twice the room.
        if (length == buffer.size()) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        buffer.resize(length);
        return buffer;
    }
}

template <typename String> String DirectoryOf(const String& path) {
    using Char = typename String::value_type;
    size_t end = path.rfind(Char('\\'));
    if (end == String::npos)
        end = path.find(Char(':'));
    return end == String::npos ? String() : path.substr(0, end + 1);
}

} // namespace

std::string GetExeFileName() {
    return ExeFileName<std::string>();
}

WideString GetExeFileNameW() {
    return ExeFileName<WideString>();
}

std::string ExtractDirectory(const std::string& path) {
    return DirectoryOf(path);
}

WideString ExtractDirectory(const WideString& path) {
    return DirectoryOf(path);
}

std::string ExtractFileName(const std::string& path) {
    size_t separator = path.rfind('\\');
    if (separator == std::string::npos)
        separator = path.rfind(':');
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

WideString WidenAnsi(const std::string& text) {
    if (text.empty())
        return WideString();
    const int size = static_cast<int>(text.size());
    WideString wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(::MultiByteToWideChar(CP_ACP, 0, text.data(), size, &wide[0], size)));
    return wide;
}

std::string NarrowAnsiExact(const WideString& text) {
    if (text.empty())
        return std::string();
    const int size = static_cast<int>(text.size());
    const int length = ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, &narrow[0], length, nullptr, nullptr);
    // Exact only when the text comes back unchanged: this also catches best-fit look-alikes and
    // the default character, whatever the code page.
    return WidenAnsi(narrow) == text ? narrow : std::string();
}

} // namespace mirov
