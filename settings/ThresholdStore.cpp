#include "settings/ThresholdStore.h"

#include "mirov/Contract.h"
#include "mirov/RegAccessor.h"
#include "settings/KeyRights.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

// "Threshold1" for index 0.
std::string ValueName(size_t index) {
    char name[16];
    std::snprintf(name, sizeof name, "Threshold%d", static_cast<int>(index + 1));
    return name;
}

} // namespace

ThresholdStore* ThresholdStore::m_pInstance = nullptr;

ThresholdStore::ThresholdStore(size_t count, const DiscardQuery& isDiscardSet) : m_values(count, 0) {
    Load(isDiscardSet);
}

ThresholdStore& ThresholdStore::Instance(const std::function<size_t()>& count,
                                         const DiscardQuery& isDiscardSet) {
    if (!m_pInstance)
        m_pInstance = new ThresholdStore(count(), isDiscardSet); // lives until the process ends
    return *m_pInstance;
}

bool ThresholdStore::Load(const DiscardQuery& isDiscardSet) {
    m_loaded = false;
    if (!ReadAll()) {
        Reset();
        return false;
    }
    if (isDiscardSet && isDiscardSet()) {
        // The values were meant for one use only: forget them and remove them at their source.
        Reset();
        DeleteAll();
        return true;
    }
    m_loaded = true;
    return true;
}

bool ThresholdStore::ReadAll() {
    mirov::RegAccessor key;
    if (!key.Open(HKEY_LOCAL_MACHINE, contract::kThresholdKey, false, kKeyReadRights))
        return false;
    for (size_t i = 0; i < m_values.size(); ++i) {
        if (!key.ReadDword(ValueName(i).c_str(), m_values[i]))
            return false;
    }
    return true;
}

void ThresholdStore::DeleteAll() const {
    // A key the user may read but not change keeps its values: as every registry failure, silently.
    mirov::RegAccessor key;
    if (!key.Open(HKEY_LOCAL_MACHINE, contract::kThresholdKey, false, kKeySetValueRights))
        return;
    for (size_t i = 0; i < m_values.size(); ++i)
        key.DeleteValue(ValueName(i).c_str()); // a value already gone is no reason to keep the others
}

void ThresholdStore::Reset() {
    std::fill(m_values.begin(), m_values.end(), 0u);
    m_loaded = false;
}

void ThresholdStore::GetThresholds(uint32_t& t1, uint32_t& t2, uint32_t& t3,
                                   const DiscardQuery& isDiscardSet) {
    Load(isDiscardSet);
    t1 = m_values[0];
    t2 = m_values[1];
    t3 = m_values[2];
}

size_t ThresholdStore::CopyThresholds(uint32_t* values, size_t count) const {
    const size_t held = std::min(count, m_values.size());
    std::copy_n(m_values.begin(), held, values);
    std::fill(values + held, values + count, 0u);
    return held;
}
