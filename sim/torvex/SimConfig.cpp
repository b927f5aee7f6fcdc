#include "sim/torvex/SimConfig.h"

#include <cstdio>
#include <map>

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

// Keys and the journal, opened once a process and kept: a call then costs one round trip to the
// system instead of an open, a read and a close (the soak makes a quarter of a million calls). An
// open key shows a test's changes at once; one deleted since is opened again.
class OpenCache {
public:
    OpenCache() = default;
    OpenCache(const OpenCache&) = delete;
    OpenCache& operator=(const OpenCache&) = delete;

    ~OpenCache() {
        for (const auto& key : m_keys)
            ::RegCloseKey(key.second);
        if (m_journal != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_journal);
    }

    LSTATUS Read(const std::string& path, const char* name, DWORD& value) {
        return WithKey(path, false, [&](HKEY key) {
            DWORD size = sizeof value;
            return ::RegGetValueA(key, nullptr, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
        });
    }

    void Write(const std::string& path, const char* name, DWORD value) {
        WithKey(path, true, [&](HKEY key) {
            return ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                    sizeof value);
        });
    }

    // Appends whole lines; a test empties the file rather than delete it, so the handle stays good.
    void Append(const std::string& path, const std::string& text) {
        ::AcquireSRWLockExclusive(&m_lock);
        if (m_journal == INVALID_HANDLE_VALUE || path != m_journalPath) {
            if (m_journal != INVALID_HANDLE_VALUE)
                ::CloseHandle(m_journal);
            m_journalPath = path;
            m_journal = ::CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        DWORD written = 0;
        if (m_journal != INVALID_HANDLE_VALUE)
            ::WriteFile(m_journal, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        ::ReleaseSRWLockExclusive(&m_lock);
    }

private:
    template <typename Use> LSTATUS WithKey(const std::string& path, bool create, Use use) {
        ::AcquireSRWLockExclusive(&m_lock);
        LSTATUS status = ERROR_FILE_NOT_FOUND;
        for (int attempt = 0; attempt < 2; ++attempt) {
            HKEY key = Open(path, create);
            if (!key)
                break;
            status = use(key);
            if (status != ERROR_KEY_DELETED)
                break;
            ::RegCloseKey(key);
            m_keys.erase(path);
        }
        ::ReleaseSRWLockExclusive(&m_lock);
        return status;
    }

    HKEY Open(const std::string& path, bool create) {
        const auto found = m_keys.find(path);
        if (found != m_keys.end())
            return found->second;
        HKEY key = nullptr;
        const LSTATUS status =
            create
                ? ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                    KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr)
                : ::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
        if (status != ERROR_SUCCESS)
            return nullptr;
        m_keys.emplace(path, key);
        return key;
    }

    SRWLOCK m_lock = SRWLOCK_INIT;
    std::map<std::string, HKEY> m_keys;
    std::string m_journalPath;
    HANDLE m_journal = INVALID_HANDLE_VALUE;
};

OpenCache& Cache() {
    static OpenCache cache;
    return cache;
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
    return Cache().Read(key, name, value) == ERROR_SUCCESS ? value : fallback;
}

void SimConfig::WriteTo(const std::string& key, const char* name, DWORD value) {
    Cache().Write(key, name, value);
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
    Cache().Append(JournalPath(), line + "\r\n"); // one append per line
}
