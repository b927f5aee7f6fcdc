#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Registry values saved at construction and put back, exactly, at destruction; a key that did not
// exist is removed again.
class SavedRegistryValues {
public:
    SavedRegistryValues(HKEY root, std::string key, std::vector<std::string> names);
    ~SavedRegistryValues();
    SavedRegistryValues(const SavedRegistryValues&) = delete;
    SavedRegistryValues& operator=(const SavedRegistryValues&) = delete;

private:
    struct Value {
        std::string name;
        bool present = false;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };

    HKEY m_root;
    std::string m_key;
    bool m_keyExisted = false;
    std::vector<Value> m_values;
};
