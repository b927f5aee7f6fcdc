#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// The threshold values of the user level, read from HKLM\Software\Orvane\TORVEX3 (Threshold1..N).
// Either all N values are held (loaded) or all are 0. N is fixed at creation by its creator.
// It lies below the level controller it asks: each load is handed the controller's question and
// keeps nothing of it, so one controller may go and another come in the same process.
class ThresholdStore {
public:
    // Whether the values were meant for one use only; asked after every read that found them all.
    using DiscardQuery = std::function<bool()>;

    ThresholdStore(size_t count, const DiscardQuery& isDiscardSet);

    // The process-wide store, never freed. The first call creates and loads it, asking `count` for
    // N and `isDiscardSet` in that load; later calls ask neither.
    static ThresholdStore& Instance(const std::function<size_t()>& count, const DiscardQuery& isDiscardSet);

    // True when all N values were found, also when the discard rule then zeroed and deleted them.
    bool Load(const DiscardQuery& isDiscardSet);
    void Reset();
    // Reloads, then gives the first three values.
    void GetThresholds(uint32_t& t1, uint32_t& t2, uint32_t& t3, const DiscardQuery& isDiscardSet);
    // The first `count` held values, without reloading; returns how many of them the store holds.
    // Never reads past the N held values: a count above N gets the N values followed by zeros, so the
    // caller's array is always fully written and never left with stale contents.
    size_t CopyThresholds(uint32_t* values, size_t count) const;

    size_t Count() const { return m_values.size(); }
    bool IsLoaded() const { return m_loaded; }

private:
    // Each opens the key with the rights it needs: reading alone, or setting values to delete them.
    bool ReadAll();
    void DeleteAll() const;

    std::vector<uint32_t> m_values;
    bool m_loaded = false;

    static ThresholdStore* m_pInstance;
};
