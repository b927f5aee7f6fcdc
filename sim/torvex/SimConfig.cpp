#include "sim/torvex/SimConfig.h"

#include <cstdio>

namespace {

constexpr char kDefaultKey[] = "Software\\TorvexSim";

std::string EnvOr(const char* name, const std::string& fallback) {
    char value[512];
    const DWORD length = ::GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : fallback;
}

std::string OwnFolder() {
    HMODULE self = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&OwnFolder), &self);
    char path[MAX_PATH * 4] = {};
    ::GetModuleFileNameA(self, path, sizeof path - 1);
    std::string folder(path);
    return folder.substr(0, folder.rfind('\\') + 1);
}

} // namespace

std::string SimConfig::KeyPath() {
    return EnvOr("TORVEX_SIM_KEY", kDefaultKey);
}

std::string SimConfig::ItemKeyPath(DWORD item) {
    char name[32];
    std::snprintf(name, sizeof name, "\\Items\\%08lX", static_cast<unsigned long>(item));
    return KeyPath() + name;
}

DWORD SimConfig::ReadFrom(const std::string& key, const char* name, DWORD fallback) {
    DWORD value = 0;
    DWORD size = sizeof value;
    const LSTATUS status =
        ::RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return status == ERROR_SUCCESS ? value : fallback;
}

void SimConfig::WriteTo(const std::string& key, const char* name, DWORD value) {
    ::RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), name, REG_DWORD, &value, sizeof value);
}

DWORD SimConfig::Read(const char* name, DWORD fallback) {
    return ReadFrom(KeyPath(), name, fallback);
}

void SimConfig::Write(const char* name, DWORD value) {
    WriteTo(KeyPath(), name, value);
}

DWORD SimConfig::ReadItem(DWORD item, const char* name, DWORD fallback) {
    return ReadFrom(ItemKeyPath(item), name, fallback);
}

void SimConfig::WriteItem(DWORD item, const char* name, DWORD value) {
    WriteTo(ItemKeyPath(item), name, value);
}

std::string SimConfig::JournalPath() {
    return EnvOr("TORVEX_SIM_JOURNAL", OwnFolder() + "Torvex.journal");
}

void SimConfig::Journal(const std::string& line) {
    HANDLE file = ::CreateFileA(JournalPath().c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\r\n";
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr); // one append per line
    ::CloseHandle(file);
}
