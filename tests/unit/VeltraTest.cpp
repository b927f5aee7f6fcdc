#include "level/Veltra.h"

#include "tests/support/SimTorvex.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A controller implementation that records the level calls the facade makes.
class FakeImp : public VeltraImp {
public:
    FakeImp(Level current, bool three, std::vector<std::string>& calls)
        : m_current(current), m_three(three), m_calls(calls) {}

    bool Init() override { return true; }
    bool IsSupported() override { return true; }
    bool CheckOC() override { return false; }
    Level GetLevel() override {
        m_calls.push_back("GetLevel");
        return m_current;
    }
    bool SetLevel(Level level) override {
        m_calls.push_back("SetLevel(" + std::to_string(level) + ")");
        m_current = level;
        return level != 99;
    }
    bool SetLevelByItem(Level) override { return false; }
    bool CheckReboot(int32_t) override { return false; }
    bool IsLulloSupported() override { return false; }
    bool IsFanControlSupported() override { return false; }
    bool IsVexaSupported() override { return false; }
    bool IsVexaTwoSupported() override { return false; }
    bool IsVexaThreeSupported() override { return false; }
    bool IsPindleSupported() override { return false; }
    bool IsNitrelSupported() override { return false; }
    bool IsThermostatSupported() override { return true; }
    bool IsSupportedTwo() override { return false; }
    bool IsSupportedThree() override {
        m_calls.push_back("IsSupportedThree");
        return m_three;
    }
    bool IsSupportedThreeEx() override { return false; }
    bool IsCapabilityEight() override { return false; }
    bool IsWhirroThreeSupported() override { return false; }
    uint32_t ButtonEnable() override { return 0; }
    bool GetItem(ItemId item, ItemValue& value) override {
        if (item != kItemReset || m_reset < 0)
            return false;
        value = static_cast<ItemValue>(m_reset);
        return true;
    }
    bool SetItem(ItemId, ItemValue) override { return false; }
    bool IsItemSupported(ItemId) override { return false; }
    uint32_t SetItemEx(uint32_t, uint32_t, uint32_t) override { return 0; }
    void SetThreshold(ItemValue, ItemValue, ItemValue) override {}
    uint32_t GetStringList(uint32_t, uint32_t, uint32_t, uint32_t) override { return 0; }
    uint32_t GetItemDefaultValue(uint32_t, uint32_t) override { return 0; }
    bool GetItemInformation(uint32_t, uint32_t) override { return false; }

    int m_reset = -1; // -1: the reset item cannot be read

private:
    Level m_current;
    bool m_three;
    std::vector<std::string>& m_calls;
};

std::vector<std::string> SwitchCalls(Level current, bool three, Level target) {
    std::vector<std::string> calls;
    Veltra veltra(std::make_unique<FakeImp>(current, three, calls));
    veltra.SetLevel(target);
    return calls;
}

} // namespace

TEST(Veltra, LeavingAHighLevelPassesThroughZeroInStatesOneAndTwo) {
    const std::vector<std::string> viaZero = {"GetLevel", "IsSupportedThree", "SetLevel(0)", "SetLevel(3)"};
    EXPECT_EQ(SwitchCalls(0x8000, false, 3), viaZero);
    EXPECT_EQ(SwitchCalls(256, false, 3), viaZero);

    const std::vector<std::string> direct = {"GetLevel", "IsSupportedThree", "SetLevel(3)"};
    EXPECT_EQ(SwitchCalls(0x8000, true, 3), direct);
}

TEST(Veltra, OrdinaryLevelsSwitchDirectlyWithoutAskingTheState) {
    const std::vector<std::string> direct = {"GetLevel", "SetLevel(3)"};
    EXPECT_EQ(SwitchCalls(255, false, 3), direct);
    EXPECT_EQ(SwitchCalls(0, false, 3), direct);
}

TEST(Veltra, SetLevelAnswersWithTheFinalSwitch) {
    std::vector<std::string> calls;
    Veltra veltra(std::make_unique<FakeImp>(0x8000, false, calls));
    EXPECT_FALSE(veltra.SetLevel(99));
    EXPECT_TRUE(veltra.SetLevel(5));
    EXPECT_EQ(veltra.GetLevel(), 5u);
}

TEST(Veltra, ResetItemCountsOnlyWhenItReadsOne) {
    std::vector<std::string> calls;
    auto imp = std::make_unique<FakeImp>(0, true, calls);
    FakeImp& fake = *imp;
    Veltra veltra(std::move(imp));
    EXPECT_FALSE(IsResetItemSet(veltra));
    fake.m_reset = 2;
    EXPECT_FALSE(IsResetItemSet(veltra));
    fake.m_reset = 0;
    EXPECT_FALSE(IsResetItemSet(veltra));
    fake.m_reset = 1;
    EXPECT_TRUE(IsResetItemSet(veltra));
}

TEST(Veltra, InstanceIsCreatedOnceAndForwards) {
    SimTorvex sim(CurrentTestName());
    Veltra::SetImpIndex(0);
    Veltra& first = Veltra::Instance();
    EXPECT_EQ(&first, &Veltra::Instance());
    EXPECT_EQ(sim.Calls({"TorvexInit"}).size(), 1u);
    EXPECT_FALSE(first.IsThermostatSupported());
    sim.Set("Result.IsThermostatSupported", 1);
    EXPECT_TRUE(first.IsThermostatSupported());
}

TEST(Veltra, SixThresholdsAskStopsAtTheFirstUnsupportedItem) {
    SimTorvex sim(CurrentTestName());
    Veltra::SetImpIndex(0);
    Veltra::Instance();
    sim.ClearJournal();
    EXPECT_TRUE(IsSixThresholdSupported());
    EXPECT_EQ(sim.Calls({"IsItemSupported"}),
              (std::vector<std::string>{"IsItemSupported(0x0E0A0017) = 1", "IsItemSupported(0x0E0A0018) = 1",
                                        "IsItemSupported(0x0E0A0019) = 1"}));

    sim.ClearJournal();
    sim.SetItem(0x0E0A0017, "Supported", 0);
    EXPECT_FALSE(IsSixThresholdSupported());
    EXPECT_EQ(sim.Calls({"IsItemSupported"}), (std::vector<std::string>{"IsItemSupported(0x0E0A0017) = 0"}));

    sim.ClearJournal();
    sim.SetItem(0x0E0A0017, "Supported", 1);
    sim.SetItem(0x0E0A0018, "Supported", 0);
    EXPECT_FALSE(IsSixThresholdSupported());
    EXPECT_EQ(sim.Calls({"IsItemSupported"}).size(), 2u);
}
