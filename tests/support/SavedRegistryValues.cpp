#include "tests/support/SavedRegistryValues.h"

#include "mirov/Handles.h"

SavedRegistryValues::SavedRegistryValues(HKEY root, std::string key, std::vector<std::string> names)
    : m_root(root), m_key(std::move(key)) {
    mirov::UniqueHkey open;
    m_keyExisted = ::RegOpenKeyExA(m_root, m_key.c_str(), 0, KEY_QUERY_VALUE, open.Put()) == ERROR_SUCCESS;
    for (std::string& name : names) {
        Value value;
        value.name = std::move(name);
        DWORD size = 0;
        if (m_keyExisted && ::RegQueryValueExA(open.Get(), value.name.c_str(), nullptr, &value.type, nullptr,
                                               &size) == ERROR_SUCCESS) {
            value.data.resize(size);
            value.present = ::RegQueryValueExA(open.Get(), value.name.c_str(), nullptr, &value.type,
                                               value.data.data(), &size) == ERROR_SUCCESS;
            value.data.resize(size);
        }
        m_values.push_back(std::move(value));
    }
}

SavedRegistryValues::~SavedRegistryValues() {
    if (!m_keyExisted) {
        ::RegDeleteTreeA(m_root, m_key.c_str());
        return;
    }
    mirov::UniqueHkey key;
    if (::RegOpenKeyExA(m_root, m_key.c_str(), 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS)
        return;
    for (const Value& value : m_values) {
        if (value.present)
            ::RegSetValueExA(key.Get(), value.name.c_str(), 0, value.type, value.data.data(),
                             static_cast<DWORD>(value.data.size()));
        else
            ::RegDeleteValueA(key.Get(), value.name.c_str());
    }
}
