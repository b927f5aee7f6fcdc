#include "settings/ThresholdStore.h"

#include "mirov/Contract.h"
#include "tests/support/ScratchKey.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Values = std::vector<uint32_t>;

// The product's own threshold key, cleared at the start and at the end of the test, and the
// discard answer the store's creator would give, with a count of how often it was asked.
struct StoreScene {
    ScratchKey key{contract::kThresholdKey};
    bool discard = false;
    size_t discardAsks = 0;

    ThresholdStore::DiscardQuery Discard() {
        return [this] {
            ++discardAsks;
            return discard;
        };
    }
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
    scene.WriteThresholds({11, 12, 13, 14, 15, 16});
    ThresholdStore store(3, scene.Discard());
    EXPECT_EQ(store.Count(), 3u);
    EXPECT_TRUE(store.IsLoaded());
    EXPECT_EQ(Held(store), (Values{11, 12, 13, 0, 0, 0}));
    EXPECT_EQ(scene.Present(6), std::vector<bool>(6, true));
}

TEST(ThresholdStore, ThreeValueDiscardDeletesOnlyTheFirstThree) {
    StoreScene scene;
    scene.discard = true;
    scene.WriteThresholds({11, 12, 13, 14, 15, 16});
    ThresholdStore store(3, scene.Discard());
    EXPECT_FALSE(store.IsLoaded());
    EXPECT_EQ(Held(store), Values(6, 0));
    EXPECT_EQ(scene.Present(6), (std::vector<bool>{false, false, false, true, true, true}));
}

TEST(ThresholdStore, SixValueStoreWithThreeValuesIsZeroedAndDeletesNothing) {
    StoreScene scene;
    scene.discard = true; // would discard, but only a complete set gets that far
    scene.WriteThresholds({1, 2, 3});
    ThresholdStore store(6, scene.Discard());
    EXPECT_EQ(store.Count(), 6u);
    EXPECT_FALSE(store.Load(scene.Discard()));
    EXPECT_FALSE(store.IsLoaded());
    EXPECT_EQ(Held(store), Values(6, 0));
    EXPECT_EQ(scene.Present(3), std::vector<bool>(3, true));
    EXPECT_EQ(scene.discardAsks, 0u);
}

TEST(ThresholdStore, ValueOfAnotherTypeZeroesEveryValueAndKeepsThemAll) {
    StoreScene scene;
    scene.WriteThresholds({7, 8, 9});
    ThresholdStore store(3, scene.Discard());
    ASSERT_EQ(Held(store), (Values{7, 8, 9, 0, 0, 0}));

    scene.key.SetString("Threshold2", "8");
    EXPECT_FALSE(store.Load(scene.Discard()));
    EXPECT_FALSE(store.IsLoaded());
    EXPECT_EQ(Held(store), Values(6, 0));
    EXPECT_EQ(scene.key.Dword("Threshold1"), 7u);
    EXPECT_TRUE(scene.key.Has("Threshold2"));
    EXPECT_EQ(scene.key.Dword("Threshold3"), 9u);
}

TEST(ThresholdStore, DiscardZeroesDeletesAndTheNextLoadFindsNothing) {
    StoreScene scene;
    scene.WriteThresholds({1, 2, 3});
    ThresholdStore store(3, scene.Discard());
    ASSERT_TRUE(store.IsLoaded());

    scene.discard = true;
    EXPECT_TRUE(store.Load(scene.Discard()));
    EXPECT_FALSE(store.IsLoaded());
    EXPECT_EQ(Held(store), Values(6, 0));
    EXPECT_EQ(scene.Present(3), std::vector<bool>(3, false));

    EXPECT_FALSE(store.Load(scene.Discard()));
    EXPECT_EQ(Held(store), Values(6, 0));
}

TEST(ThresholdStore, DiscardNotSetKeepsTheValuesAndIsAskedAtEachLoad) {
    StoreScene scene;
    scene.WriteThresholds({4, 5, 6});
    ThresholdStore store(3, scene.Discard());
    EXPECT_TRUE(store.Load(scene.Discard()));
    EXPECT_EQ(scene.discardAsks, 2u);
    EXPECT_TRUE(store.IsLoaded());
    EXPECT_EQ(Held(store), (Values{4, 5, 6, 0, 0, 0}));
    EXPECT_EQ(scene.Present(3), std::vector<bool>(3, true));
}

TEST(ThresholdStore, AllOnesReadAsTheLargestUnsignedValue) {
    StoreScene scene;
    scene.WriteThresholds({0xFFFFFFFF, 0, 1, 2, 3, 0xFFFFFFFF});
    ThresholdStore store(6, scene.Discard());
    EXPECT_EQ(Held(store), (Values{4294967295u, 0, 1, 2, 3, 4294967295u}));
}

TEST(ThresholdStore, MissingKeyZeroesTheValuesAndOneThatMayOnlyBeReadIsRead) {
    StoreScene scene;
    ThresholdStore store(3, scene.Discard());
    EXPECT_FALSE(store.Load(scene.Discard()));
    EXPECT_EQ(Held(store), Values(6, 0));
    EXPECT_FALSE(scene.key.Exists()); // reading never creates the key

    scene.WriteThresholds({1, 2, 3});
    DenySetValue deny(scene.key);
    ASSERT_TRUE(deny.Applied());
    EXPECT_TRUE(store.Load(scene.Discard()));
    EXPECT_EQ(Held(store), (Values{1, 2, 3, 0, 0, 0}));
    // The discard still forgets them; the values stay where they may not be deleted.
    scene.discard = true;
    EXPECT_TRUE(store.Load(scene.Discard()));
    EXPECT_EQ(Held(store), Values(6, 0));
    EXPECT_EQ(scene.Present(3), std::vector<bool>(3, true));
}

TEST(ThresholdStore, FirstUseOfTheThreeValuePathLoadsTwice) {
    StoreScene scene;
    scene.WriteThresholds({21, 22, 23});
    size_t countAsks = 0;
    const auto instance = [&] {
        return &ThresholdStore::Instance(
            [&] {
                ++countAsks;
                return size_t{3};
            },
            scene.Discard());
    };
    uint32_t t1 = 0, t2 = 0, t3 = 0;
    instance()->GetThresholds(t1, t2, t3, scene.Discard());
    EXPECT_EQ(Values({t1, t2, t3}), (Values{21, 22, 23}));
    EXPECT_EQ(scene.discardAsks, 2u); // once when created, once for the values
    EXPECT_EQ(instance(), instance());
    EXPECT_EQ(countAsks, 1u);
    EXPECT_EQ(scene.discardAsks, 2u);

    // Copying gives the held values; getting reads the registry again.
    scene.WriteThresholds({31});
    EXPECT_EQ(Held(*instance()), (Values{21, 22, 23, 0, 0, 0}));
    instance()->GetThresholds(t1, t2, t3, scene.Discard());
    EXPECT_EQ(Values({t1, t2, t3}), (Values{31, 22, 23}));
}

TEST(ThresholdStore, DiscardInsideGetThresholdsGivesZeros) {
    StoreScene scene;
    scene.WriteThresholds({21, 22, 23});
    ThresholdStore store(3, scene.Discard());
    scene.discard = true;
    uint32_t t1 = 9, t2 = 9, t3 = 9;
    store.GetThresholds(t1, t2, t3, scene.Discard());
    EXPECT_EQ(Values({t1, t2, t3}), Values(3, 0));
}
