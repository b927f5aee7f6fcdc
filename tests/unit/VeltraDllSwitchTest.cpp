#include "level/VeltraDll.h"

#include "mirov/Contract.h"
#include "tests/support/ScratchKey.h"
#include "tests/support/SimTorvex.h"
#include "tests/support/TestFolder.h"
#include "tools/common/MessageBoxWatcher.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kItemFourthThreshold = 0x0E0A0017;

using Lines = std::vector<std::string>;

// A controller on the simulated library in one support state, with no process-wide one: the
// controller asks its own library and creates the threshold store itself. Boxes are pressed and
// recorded; the product's registry key is cleared at the start and at the end.
struct SwitchScene {
    SimTorvex sim{CurrentTestName()};
    ScratchKey key{contract::kThresholdKey};
    MessageBoxWatcher watcher{::GetCurrentProcessId()};
    VeltraDll dll;

    explicit SwitchScene(int state) {
        sim.SetSupportState(state);
        dll.Init();
        sim.ClearJournal();
    }

    void Feature(DWORD value) { sim.SetItem(kItemFeatureSwitch, "Value", value); }
    void OnlyThreeItems() { sim.SetItem(kItemFourthThreshold, "Supported", 0); }
    void WriteThresholds(const std::vector<DWORD>& values) const {
        for (size_t i = 0; i < values.size(); ++i)
            key.SetDword(("Threshold" + std::to_string(i + 1)).c_str(), values[i]);
    }
    // The item and level calls, in order.
    Lines Calls() const { return sim.Calls({"TorvexGetItem", "TorvexSetItem", "TorvexSetLevel"}); }
    Lines BoxTexts() const {
        Lines texts;
        for (const MessageBoxWatcher::Box& box : watcher.Boxes()) {
            EXPECT_EQ(box.caption, "");
            EXPECT_FALSE(box.hasIcon);
            EXPECT_EQ(box.buttons, 1);
            texts.push_back(box.text);
        }
        return texts;
    }
};

std::string SetItem(DWORD item, DWORD value, int result = 1) {
    char line[64];
    std::snprintf(line, sizeof line, "TorvexSetItem(0x%08lX, %lu) = %d", item, value, result);
    return line;
}

} // namespace

TEST(VeltraDllSwitch, UserLevelWithSixItemsAppliesHeldValuesBeforeTheSwitch) {
    SwitchScene scene(3);
    scene.Feature(0);
    scene.WriteThresholds({11, 12, 13, 14, 15, 16});
    EXPECT_TRUE(scene.dll.SetLevel(kUserLevel));
    EXPECT_EQ(scene.Calls(), (Lines{"TorvexGetItem(0x0B060002, &0) = 1", SetItem(0x0B060002, 1),
                                    "TorvexGetItem(0x00070005, &0) = 1", // the store's first load
                                    SetItem(0x0E0A0014, 11), SetItem(0x0E0A0015, 12), SetItem(0x0E0A0016, 13),
                                    SetItem(0x0E0A0017, 14), SetItem(0x0E0A0018, 15), SetItem(0x0E0A0019, 16),
                                    "TorvexSetLevel(32768) = 1"}));
    EXPECT_EQ(scene.key.Dword("LastMode"), 0x8000u);
    EXPECT_EQ(scene.sim.ItemValue(kItemFeatureSwitch), 1u);

    // The held values stay what the store read when it was created.
    scene.WriteThresholds({41});
    scene.sim.ClearJournal();
    EXPECT_TRUE(scene.dll.SetLevel(kUserLevel));
    EXPECT_EQ(scene.Calls(),
              (Lines{"TorvexGetItem(0x0B060002, &1) = 1", SetItem(0x0E0A0014, 11), SetItem(0x0E0A0015, 12),
                     SetItem(0x0E0A0016, 13), SetItem(0x0E0A0017, 14), SetItem(0x0E0A0018, 15),
                     SetItem(0x0E0A0019, 16), "TorvexSetLevel(32768) = 1"}));
    EXPECT_EQ(scene.BoxTexts(), Lines{});
}

TEST(VeltraDllSwitch, SixItemsAfterAThreeValueStoreLeaveTheItemsBeyondTheHeldValuesAlone) {
    SwitchScene scene(3);
    scene.Feature(1);
    scene.OnlyThreeItems();
    scene.WriteThresholds({11, 12, 13, 14, 15, 16});
    // The store is created sized to three while the library reports three items.
    EXPECT_TRUE(scene.dll.SetLevel(kUserLevel));
    scene.sim.SetItem(kItemFourthThreshold, "Supported", 1);
    scene.sim.SetItem(kItemFourthThreshold, "Value", 40);
    scene.sim.ClearJournal();
    EXPECT_TRUE(scene.dll.SetLevel(kUserLevel));
    EXPECT_EQ(scene.Calls(),
              (Lines{"TorvexGetItem(0x0B060002, &1) = 1", SetItem(0x0E0A0014, 11), SetItem(0x0E0A0015, 12),
                     SetItem(0x0E0A0016, 13), "TorvexSetLevel(32768) = 1"}));
    EXPECT_EQ(scene.sim.ItemValue(kItemFourthThreshold), 40u);
    EXPECT_EQ(scene.BoxTexts(), Lines{});
}

TEST(VeltraDllSwitch, UserLevelWithThreeItemsAppliesFreshValuesAfterTheSwitch) {
    SwitchScene scene(4);
    scene.Feature(0);
    scene.OnlyThreeItems();
    scene.WriteThresholds({21, 22, 23});
    EXPECT_TRUE(scene.dll.SetLevel(kUserLevel));
    EXPECT_EQ(scene.Calls(),
              (Lines{"TorvexGetItem(0x0B060002, &0) = 1", SetItem(0x0B060002, 1), "TorvexSetLevel(32768) = 1",
                     "TorvexGetItem(0x00070005, &0) = 1", "TorvexGetItem(0x00070005, &0) = 1",
                     SetItem(0x0E0A0014, 21), SetItem(0x0E0A0015, 22), SetItem(0x0E0A0016, 23)}));
    EXPECT_EQ(scene.key.Dword("LastMode"), 0x8000u);

    scene.WriteThresholds({31});
    scene.sim.ClearJournal();
    EXPECT_TRUE(scene.dll.SetLevel(kUserLevel));
    EXPECT_EQ(scene.Calls(), (Lines{"TorvexGetItem(0x0B060002, &1) = 1", "TorvexSetLevel(32768) = 1",
                                    "TorvexGetItem(0x00070005, &0) = 1", SetItem(0x0E0A0014, 31),
                                    SetItem(0x0E0A0015, 22), SetItem(0x0E0A0016, 23)}));
    EXPECT_EQ(scene.BoxTexts(), Lines{});
}

TEST(VeltraDllSwitch, LibraryWithoutOnlyTheSixthItemTakesTheThreeValuePath) {
    SwitchScene scene(3);
    scene.Feature(1);
    scene.sim.SetItem(0x0E0A0019, "Supported", 0);
    scene.WriteThresholds({21, 22, 23, 24, 25, 26});
    EXPECT_TRUE(scene.dll.SetLevel(kUserLevel));
    EXPECT_EQ(scene.Calls(),
              (Lines{"TorvexGetItem(0x0B060002, &1) = 1", "TorvexSetLevel(32768) = 1",
                     "TorvexGetItem(0x00070005, &0) = 1", "TorvexGetItem(0x00070005, &0) = 1",
                     SetItem(0x0E0A0014, 21), SetItem(0x0E0A0015, 22), SetItem(0x0E0A0016, 23)}));
}

TEST(VeltraDllSwitch, LevelZeroSwitchesTheFeatureOffOnlyInStateThree) {
    {
        SwitchScene scene(3);
        scene.Feature(1);
        EXPECT_TRUE(scene.dll.SetLevel(0));
        EXPECT_EQ(scene.Calls(), (Lines{"TorvexGetItem(0x0B060002, &1) = 1", "TorvexSetLevel(0) = 1",
                                        "TorvexGetItem(0x0B060002, &1) = 1", SetItem(0x0B060002, 0)}));
        EXPECT_EQ(scene.key.Dword("LastMode"), 0u);
        EXPECT_EQ(scene.BoxTexts(), Lines{});
    }
    {
        SwitchScene scene(4);
        scene.Feature(1);
        EXPECT_TRUE(scene.dll.SetLevel(0));
        EXPECT_EQ(scene.Calls(), (Lines{"TorvexGetItem(0x0B060002, &1) = 1", "TorvexSetLevel(0) = 1",
                                        "TorvexGetItem(0x0B060002, &1) = 1"}));
        EXPECT_EQ(scene.sim.ItemValue(kItemFeatureSwitch), 1u);
        EXPECT_EQ(scene.key.Dword("LastMode"), 0u);
        EXPECT_EQ(scene.BoxTexts(), Lines{});
    }
}

TEST(VeltraDllSwitch, FeatureThatWasOffIsOnForTheSwitchToZeroAndOffAfter) {
    SwitchScene scene(3);
    scene.Feature(0);
    EXPECT_TRUE(scene.dll.SetLevel(0));
    EXPECT_EQ(scene.Calls(),
              (Lines{"TorvexGetItem(0x0B060002, &0) = 1", SetItem(0x0B060002, 1), "TorvexSetLevel(0) = 1",
                     "TorvexGetItem(0x0B060002, &1) = 1", SetItem(0x0B060002, 0)}));
}

TEST(VeltraDllSwitch, StatesOneAndTwoMakeOnlyTheLevelCall) {
    for (int state : {1, 2}) {
        SwitchScene scene(state);
        scene.Feature(0);
        scene.WriteThresholds({1, 2, 3, 4, 5, 6});
        EXPECT_TRUE(scene.dll.SetLevel(2)) << "state " << state;
        EXPECT_TRUE(scene.dll.SetLevel(kUserLevel)) << "state " << state;
        EXPECT_EQ(scene.sim.Journal(), (Lines{"TorvexSetLevel(2) = 1", "TorvexSetLevel(32768) = 1"}))
            << "state " << state;
        EXPECT_FALSE(scene.key.Has("LastMode")) << "state " << state;
        EXPECT_EQ(scene.BoxTexts(), Lines{});
    }
}

TEST(VeltraDllSwitch, FailedLevelCallStillRunsThePostStepAndRecordsTheLevel) {
    SwitchScene scene(3);
    scene.Feature(1);
    scene.sim.SetResult("TorvexSetLevel", 0);
    EXPECT_FALSE(scene.dll.SetLevel(0));
    EXPECT_EQ(scene.Calls(), (Lines{"TorvexGetItem(0x0B060002, &1) = 1", "TorvexSetLevel(0) = 0",
                                    "TorvexGetItem(0x0B060002, &1) = 1", SetItem(0x0B060002, 0)}));
    EXPECT_EQ(scene.key.Dword("LastMode"), 0u);

    EXPECT_FALSE(scene.dll.SetLevel(7));
    EXPECT_EQ(scene.key.Dword("LastMode"), 7u);
    EXPECT_EQ(scene.BoxTexts(), Lines{});
}

TEST(VeltraDllSwitch, LevelByItemHasTheStepsButNoRecord) {
    SwitchScene scene(3);
    scene.Feature(0);
    EXPECT_TRUE(scene.dll.SetLevelByItem(5));
    EXPECT_EQ(scene.Calls(),
              (Lines{"TorvexGetItem(0x0B060002, &0) = 1", SetItem(0x0B060002, 1), SetItem(0x0B060001, 5)}));
    EXPECT_EQ(scene.sim.Get("Level", 0), 5u);

    scene.sim.ClearJournal();
    EXPECT_TRUE(scene.dll.SetLevelByItem(0));
    EXPECT_EQ(scene.Calls(), (Lines{"TorvexGetItem(0x0B060002, &1) = 1", SetItem(0x0B060001, 0),
                                    "TorvexGetItem(0x0B060002, &1) = 1", SetItem(0x0B060002, 0)}));

    scene.sim.SetItem(kItemLevel, "Writable", 0);
    EXPECT_FALSE(scene.dll.SetLevelByItem(5));
    EXPECT_FALSE(scene.key.Exists());
    EXPECT_EQ(scene.BoxTexts(), Lines{});
}

TEST(VeltraDllSwitch, EachFailedThresholdWriteIsShownAndTheRestWritten) {
    SwitchScene scene(3);
    scene.sim.SetItem(0x0E0A0015, "Writable", 0);
    scene.dll.SetThreshold(1, 2, 3);
    EXPECT_EQ(scene.Calls(),
              (Lines{SetItem(0x0E0A0014, 1), SetItem(0x0E0A0015, 2, 0), SetItem(0x0E0A0016, 3)}));
    EXPECT_EQ(scene.BoxTexts(), Lines{"[VeltraDll::SetThreshold] 0x0E0A0015 Failed"});

    scene.watcher.Clear();
    scene.sim.SetItem(0x0E0A0015, "Writable", 1);
    scene.sim.SetItem(0x0E0A0014, "Writable", 0);
    scene.sim.SetItem(0x0E0A0016, "Writable", 0);
    scene.dll.SetThreshold(1, 2, 3);
    EXPECT_EQ(scene.BoxTexts(), (Lines{"[VeltraDll::SetThreshold] 0x0E0A0014 Failed",
                                       "[VeltraDll::SetThreshold] 0x0E0A0016 Failed"}));
}

TEST(VeltraDllSwitch, FailedSixthThresholdIsShownInItsShortForm) {
    SwitchScene scene(3);
    scene.Feature(1);
    scene.WriteThresholds({11, 12, 13, 14, 15, 16});
    scene.sim.SetItem(0x0E0A0019, "Writable", 0);
    EXPECT_TRUE(scene.dll.SetLevel(kUserLevel));
    const Lines calls = scene.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], SetItem(0x0E0A0019, 16, 0));
    EXPECT_EQ(calls.back(), "TorvexSetLevel(32768) = 1");
    EXPECT_EQ(scene.BoxTexts(), Lines{"[VeltraDll::SetThreshold] e0a0019 Failed"});
}

TEST(VeltraDllSwitch, UnreadableFeatureSwitchIsShownAndCountsAsOff) {
    SwitchScene scene(3);
    scene.sim.SetItem(kItemFeatureSwitch, "Readable", 0);
    EXPECT_TRUE(scene.dll.SetLevel(0));
    // Switched on before; after level 0 it is not switched off, since it does not read as on.
    EXPECT_EQ(scene.Calls(), (Lines{"TorvexGetItem(0x0B060002, &-) = 0", SetItem(0x0B060002, 1),
                                    "TorvexSetLevel(0) = 1", "TorvexGetItem(0x0B060002, &-) = 0"}));
    EXPECT_EQ(scene.BoxTexts(),
              (Lines{"[VeltraDll::IsTorvexOpen] Failed", "[VeltraDll::IsTorvexOpen] Failed"}));
    EXPECT_EQ(scene.key.Dword("LastMode"), 0u);
}

TEST(VeltraDllSwitch, UnwritableFeatureSwitchIsShownAndTheSwitchGoesOn) {
    SwitchScene scene(3);
    scene.Feature(0);
    scene.sim.SetItem(kItemFeatureSwitch, "Writable", 0);
    EXPECT_TRUE(scene.dll.SetLevel(3));
    EXPECT_EQ(scene.Calls(), (Lines{"TorvexGetItem(0x0B060002, &0) = 1", SetItem(0x0B060002, 1, 0),
                                    "TorvexSetLevel(3) = 1"}));
    EXPECT_EQ(scene.BoxTexts(), Lines{"[VeltraDll::EnableTorvex] Failed"});
    EXPECT_EQ(scene.key.Dword("LastMode"), 3u);
}

namespace {

// Answers the state tests and the item operations itself, so the library sees none of them.
class OverridingVeltraDll : public VeltraDll {
public:
    bool IsSupportedThree() override { return true; }
    bool IsSupportedThreeEx() override { return false; }
    bool GetItem(ItemId item, ItemValue& value) override {
        calls.push_back("GetItem " + std::to_string(item));
        value = 1;
        return true;
    }
    bool SetItem(ItemId item, ItemValue value) override {
        calls.push_back("SetItem " + std::to_string(item) + " " + std::to_string(value));
        return true;
    }

    Lines calls;
};

} // namespace

TEST(VeltraDllSwitch, StepsGoThroughTheObjectsOwnOperations) {
    SwitchScene scene(1);
    OverridingVeltraDll dll;
    dll.Init();
    dll.calls.clear();
    scene.sim.ClearJournal();
    EXPECT_TRUE(dll.SetLevel(0));
    dll.SetThreshold(1, 2, 3);
    const std::string feature = std::to_string(kItemFeatureSwitch);
    const std::string first = std::to_string(kItemThreshold1);
    EXPECT_EQ(dll.calls,
              (Lines{"GetItem " + feature, "GetItem " + feature, "SetItem " + feature + " 0",
                     "SetItem " + first + " 1", "SetItem " + std::to_string(kItemThreshold1 + 1) + " 2",
                     "SetItem " + std::to_string(kItemThreshold1 + 2) + " 3"}));
    EXPECT_EQ(scene.sim.Journal(), Lines{"TorvexSetLevel(0) = 1"});
    EXPECT_EQ(scene.key.Dword("LastMode"), 0u);
}

namespace {

// A controller whose library wants the thresholds used once: it answers the reset item itself.
class DiscardingVeltraDll : public VeltraDll {
public:
    bool GetItem(ItemId item, ItemValue& value) override {
        if (item != kItemReset)
            return VeltraDll::GetItem(item, value);
        value = 1;
        return true;
    }
};

} // namespace

TEST(VeltraDllSwitch, LaterControllerInTheProcessIsAskedItself) {
    SwitchScene scene(3);
    scene.Feature(1);
    scene.OnlyThreeItems();
    scene.WriteThresholds({21, 22, 23});
    // The scene's controller creates the store; its library's reset item reads 0.
    EXPECT_TRUE(scene.dll.SetLevel(kUserLevel));
    DiscardingVeltraDll later;
    later.Init();
    scene.sim.ClearJournal();
    EXPECT_TRUE(later.SetLevel(kUserLevel));
    EXPECT_EQ(scene.Calls(), (Lines{"TorvexGetItem(0x0B060002, &1) = 1", "TorvexSetLevel(32768) = 1",
                                    SetItem(0x0E0A0014, 0), SetItem(0x0E0A0015, 0), SetItem(0x0E0A0016, 0)}));
    EXPECT_FALSE(scene.key.Has("Threshold1"));
    EXPECT_EQ(scene.BoxTexts(), Lines{});
}
