#include "settings/ThresholdStore.h"

#include "level/Veltra.h"

#include "ScratchKey.h"
#include "SimTorvex.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr char kThresholdKey[] = "Software\\Orvane\\TORVEX3";
constexpr DWORD kItemFourthThreshold = 0x0E0A0017;
constexpr char kResetRead[] = "TorvexGetItem(0x00070005";

using Values = std::vector<uint32_t>;

// The simulated library bound to the process-wide controller and the product's own threshold key,
// cleared at the start and at the end of the test.
struct StoreScene {
    SimTorvex sim{CurrentTestName()};
    ScratchKey key{kThresholdKey};

    StoreScene() { Veltra::SetImpIndex(0); }

    // Without a fourth threshold item the store holds three values.
    void OnlyThreeItems() { sim.SetItem(kItemFourthThreshold, "Supported", 0); }
    void ResetItem(DWORD value) { sim.SetItem(kItemReset, "Value", value); }
    void WriteThresholds(const Values& values) const {
        for (size_t i = 0; i < values.size(); ++i)
            key.SetDword(Name(i).c_str(), values[i]);
    }
    std::vector<bool> Present(size_t count) const {
        std::vector<bool> present;
        for (size_t i = 0; i < count; ++i)
            present.push_back(key.Has(Name(i).c_str()));
        return present;
    }
    size_t ResetReads() const {
        size_t reads = 0;
        for (const std::string& line : sim.Journal()) {
            if (line.compare(0, sizeof kResetRead - 1, kResetRead) == 0)
                ++reads;
        }
        return reads;
    }
    static std::string Name(size_t index) { return "Threshold" + std::to_string(index + 1); }
};

// Six slots, so that values a three-value store does not hold show as zeros.
Values Held(const ThresholdStore& store) {
    Values values(6, 0xA5A5A5A5);
    store.CopyThresholds(values.data(), 6);
    return values;
}

} // namespace

TEST(ThresholdStore, ThreeValueStoreReadsAndKeepsOnlyTheFirstThree) {
    StoreScene scene;
    scene.OnlyThreeItems();
    scene.WriteThresholds({11, 12, 13, 14, 15, 16});
    ThresholdStore store;
    EXPECT_EQ(store.Count(), 3u);
    EXPECT_TRUE(store.IsLoaded());
    EXPECT_EQ(Held(store), (Values{11, 12, 13, 0, 0, 0}));
    EXPECT_EQ(scene.Present(6), std::vector<bool>(6, true));
}

TEST(ThresholdStore, ThreeValueDiscardDeletesOnlyTheFirstThree) {
    StoreScene scene;
    scene.OnlyThreeItems();
    scene.ResetItem(1);
    scene.WriteThresholds({11, 12, 13, 14, 15, 16});
    ThresholdStore store;
    EXPECT_FALSE(store.IsLoaded());
    EXPECT_EQ(Held(store), Values(6, 0));
    EXPECT_EQ(scene.Present(6), (std::vector<bool>{false, false, false, true, true, true}));
}

TEST(ThresholdStore, SixValueStoreWithThreeValuesIsZeroedAndDeletesNothing) {
    StoreScene scene;
    scene.ResetItem(1); // would discard, but only a complete set gets that far
    scene.WriteThresholds({1, 2, 3});
    ThresholdStore store;
    EXPECT_EQ(store.Count(), 6u);
    EXPECT_FALSE(store.Load());
    EXPECT_FALSE(store.IsLoaded());
    EXPECT_EQ(Held(store), Values(6, 0));
    EXPECT_EQ(scene.Present(3), std::vector<bool>(3, true));
    EXPECT_EQ(scene.ResetReads(), 0u);
}

TEST(ThresholdStore, ValueOfAnotherTypeZeroesEveryValueAndKeepsThemAll) {
    StoreScene scene;
    scene.OnlyThreeItems();
    scene.WriteThresholds({7, 8, 9});
    ThresholdStore store;
    ASSERT_EQ(Held(store), (Values{7, 8, 9, 0, 0, 0}));

    scene.key.SetString("Threshold2", "8");
    EXPECT_FALSE(store.Load());
    EXPECT_FALSE(store.IsLoaded());
    EXPECT_EQ(Held(store), Values(6, 0));
    EXPECT_EQ(scene.key.Dword("Threshold1"), 7u);
    EXPECT_TRUE(scene.key.Has("Threshold2"));
    EXPECT_EQ(scene.key.Dword("Threshold3"), 9u);
}

TEST(ThresholdStore, DiscardZeroesDeletesAndTheNextLoadFindsNothing) {
    StoreScene scene;
    scene.OnlyThreeItems();
    scene.WriteThresholds({1, 2, 3});
    ThresholdStore store;
    ASSERT_TRUE(store.IsLoaded());

    scene.ResetItem(1);
    EXPECT_TRUE(store.Load());
    EXPECT_FALSE(store.IsLoaded());
    EXPECT_EQ(Held(store), Values(6, 0));
    EXPECT_EQ(scene.Present(3), std::vector<bool>(3, false));

    EXPECT_FALSE(store.Load());
    EXPECT_EQ(Held(store), Values(6, 0));
}

TEST(ThresholdStore, UnreadableResetItemKeepsTheValues) {
    StoreScene scene;
    scene.OnlyThreeItems();
    scene.sim.SetItem(kItemReset, "Readable", 0);
    scene.WriteThresholds({4, 5, 6});
    ThresholdStore store;
    EXPECT_TRUE(store.Load());
    EXPECT_TRUE(store.IsLoaded());
    EXPECT_EQ(Held(store), (Values{4, 5, 6, 0, 0, 0}));
    EXPECT_EQ(scene.Present(3), std::vector<bool>(3, true));
}

TEST(ThresholdStore, AllOnesReadAsTheLargestUnsignedValue) {
    StoreScene scene;
    scene.WriteThresholds({0xFFFFFFFF, 0, 1, 2, 3, 0xFFFFFFFF});
    ThresholdStore store;
    EXPECT_EQ(Held(store), (Values{4294967295u, 0, 1, 2, 3, 4294967295u}));
}

TEST(ThresholdStore, MissingOrRefusedKeyZeroesTheValues) {
    StoreScene scene;
    scene.OnlyThreeItems();
    ThresholdStore store;
    EXPECT_FALSE(store.Load());
    EXPECT_EQ(Held(store), Values(6, 0));
    EXPECT_FALSE(scene.key.Exists()); // reading never creates the key

    scene.WriteThresholds({1, 2, 3});
    ASSERT_TRUE(store.Load());
    DenySetValue deny(scene.key);
    ASSERT_TRUE(deny.Applied());
    EXPECT_FALSE(store.Load()); // full access is asked for even to read
    EXPECT_EQ(Held(store), Values(6, 0));
}

TEST(ThresholdStore, FirstUseOfTheThreeValuePathLoadsTwice) {
    StoreScene scene;
    scene.OnlyThreeItems();
    scene.WriteThresholds({21, 22, 23});
    uint32_t t1 = 0, t2 = 0, t3 = 0;
    ThresholdStore::Instance().GetThresholds(t1, t2, t3);
    EXPECT_EQ(Values({t1, t2, t3}), (Values{21, 22, 23}));
    EXPECT_EQ(scene.ResetReads(), 2u); // once when created, once for the values
    EXPECT_EQ(&ThresholdStore::Instance(), &ThresholdStore::Instance());
    EXPECT_EQ(scene.ResetReads(), 2u);

    // Copying gives the held values; getting reads the registry again.
    scene.WriteThresholds({31});
    EXPECT_EQ(Held(ThresholdStore::Instance()), (Values{21, 22, 23, 0, 0, 0}));
    ThresholdStore::Instance().GetThresholds(t1, t2, t3);
    EXPECT_EQ(Values({t1, t2, t3}), (Values{31, 22, 23}));
}

TEST(ThresholdStore, DiscardInsideGetThresholdsGivesZeros) {
    StoreScene scene;
    scene.OnlyThreeItems();
    scene.WriteThresholds({21, 22, 23});
    ThresholdStore store;
    scene.ResetItem(1);
    uint32_t t1 = 9, t2 = 9, t3 = 9;
    store.GetThresholds(t1, t2, t3);
    EXPECT_EQ(Values({t1, t2, t3}), Values(3, 0));
}
