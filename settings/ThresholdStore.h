#pragma once

#include <cstdint>
#include <vector>

namespace mirov {
class RegAccessor;
}

// The threshold values of the user level, read from HKLM\Software\Orvane\TORVEX3 (Threshold1..N).
// Either all N values are held (loaded) or all are 0. N is 6 or 3, fixed at creation.
class ThresholdStore {
public:
    ThresholdStore();

    // The process-wide store, created (and loaded) on first use and never freed.
    static ThresholdStore& Instance();

    // True when all N values were found, also when the discard rule then zeroed and deleted them.
    bool Load();
    void Reset();
    // Reloads, then gives the first three values.
    void GetThresholds(uint32_t& t1, uint32_t& t2, uint32_t& t3);
    // The first `count` held values, without reloading. Never reads or writes past the N held
    // values: a count above N gets the N values followed by zeros, so the caller's array is always
    // fully written and never left with stale contents.
    void CopyThresholds(uint32_t* values, unsigned count) const;

    size_t Count() const { return m_values.size(); }
    bool IsLoaded() const { return m_loaded; }

private:
    bool ReadAll(mirov::RegAccessor& key);
    void DeleteAll(mirov::RegAccessor& key) const;

    std::vector<uint32_t> m_values;
    bool m_loaded = false;

    static ThresholdStore* m_pInstance;
};
