#include "app/ErrorBox.h"

#include "mirov/Path.h"

#include <windows.h>

#include <cctype>

std::string ProgramTitle(const std::string& exePath) {
    std::string title = mirov::ExtractFileName(exePath);
    title = title.substr(0, title.find('.'));
    for (size_t i = 1; i < title.size(); ++i)
        title[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(title[i])));
    return title;
}

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}

void ShowErrorBox(const mirov::Error& error) noexcept {
    std::string text;
    std::string caption;
    try {
        text = ErrorBoxText(error.Message());
        caption = ProgramTitle(mirov::GetExeFileName());
    } catch (...) { // out of memory: what needs none
        ::MessageBoxA(nullptr, error.Message().c_str(), nullptr, MB_ICONERROR);
        return;
    }
    ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_ICONERROR);
}
