#include "mirov/Contract.h"
#include "mirov/Handles.h"
#include "tests/support/ScratchKey.h"
#include "tests/system/HelperTestBase.h"

#include "tools/common/ChildProcess.h"

#include <fstream>
#include <iterator>

namespace {

using Calls = std::vector<std::string>;

constexpr bool kX64 = sizeof(void*) == 8;

// "LastMode" as a person reads it back: "reg query" in the registry view of the build under test,
// the value's hexadecimal text.
std::string LastModeByRegQuery(const TestFolder& folder) {
    const std::string out = folder / "lastmode.txt";
    ChildProcess reg;
    reg.Start("C:\\windows\\system32\\cmd.exe", std::string("/c reg query \"HKLM\\") +
                                                    contract::kThresholdKey + "\" /v LastMode " +
                                                    (kX64 ? "/reg:64" : "/reg:32") + " > \"" + out + "\"");
    reg.Wait(20000);
    std::ifstream file(out);
    const std::string text((std::istreambuf_iterator<char>(file)), {});
    const size_t type = text.find("REG_DWORD");
    if (type == std::string::npos)
        return "(none)";
    const size_t start = text.find_first_not_of(" \t", type + 9);
    return text.substr(start, text.find_first_of("\r\n", start) - start);
}

// "LastMode" read through the 64-bit registry view, where the x86 build's key shows under
// WOW6432Node; 0xFFFFFFFF when it is not there.
DWORD LastModeIn64BitView() {
    const std::string program = contract::kThresholdKey; // Software\<the rest>
    const std::string path = kX64 ? program : "Software\\WOW6432Node" + program.substr(program.find('\\'));
    mirov::UniqueHkey key;
    DWORD value = 0xFFFFFFFF;
    DWORD size = sizeof value;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Put()) !=
            ERROR_SUCCESS ||
        ::RegQueryValueExA(key.Get(), "LastMode", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS)
        return 0xFFFFFFFF;
    return value;
}

} // namespace

// Full sleeps and wakes on machines whose library reports the richer support states.
class Switch : public HelperTest {
protected:
    void SetThresholds(std::initializer_list<DWORD> values) {
        int k = 1;
        for (DWORD value : values)
            m_programKey.SetDword(("Threshold" + std::to_string(k++)).c_str(), value);
    }
    Calls Writes() const { return m_sim.Calls({"TorvexSetItem", "TorvexSetLevel"}); }
};

TEST_F(Switch, UserLevelInStateThreeWithSixThresholds) {
    m_sim.SetSupportState(3);
    m_sim.SetItem(kFeatureSwitch, "Value", 0);
    SetThresholds({10, 20, 30, 40, 50, 60});
    StartHelper();
    SleepAndWake(0x8000);
    EXPECT_EQ(Writes(), (Calls{"TorvexSetItem(0x0B060002, 1) = 1", "TorvexSetItem(0x0E0A0014, 10) = 1",
                               "TorvexSetItem(0x0E0A0015, 20) = 1", "TorvexSetItem(0x0E0A0016, 30) = 1",
                               "TorvexSetItem(0x0E0A0017, 40) = 1", "TorvexSetItem(0x0E0A0018, 50) = 1",
                               "TorvexSetItem(0x0E0A0019, 60) = 1", "TorvexSetLevel(32768) = 1"}));
    EXPECT_EQ(LastModeByRegQuery(m_folder), "0x8000");
    EXPECT_EQ(m_sim.ItemValue(kFeatureSwitch), 1u);
    EXPECT_TRUE(m_helper.Boxes().Boxes().empty());
}

TEST_F(Switch, UserLevelInStateFourWithThreeThresholdsReadAfresh) {
    m_sim.SetSupportState(4);
    m_sim.SetItem(0x0E0A0017, "Supported", 0);
    m_sim.SetItem(kFeatureSwitch, "Value", 1);
    SetThresholds({7, 8, 9});
    StartHelper();
    SleepAndWake(0x8000);
    EXPECT_EQ(Writes(), (Calls{"TorvexSetLevel(32768) = 1", "TorvexSetItem(0x0E0A0014, 7) = 1",
                               "TorvexSetItem(0x0E0A0015, 8) = 1", "TorvexSetItem(0x0E0A0016, 9) = 1"}));
    EXPECT_EQ(LastModeByRegQuery(m_folder), "0x8000");

    // Three thresholds are read from the registry at every switch.
    SetThresholds({70, 80, 90});
    m_sim.ClearJournal();
    SleepAndWake(0x8000);
    EXPECT_EQ(Writes(), (Calls{"TorvexSetLevel(32768) = 1", "TorvexSetItem(0x0E0A0014, 70) = 1",
                               "TorvexSetItem(0x0E0A0015, 80) = 1", "TorvexSetItem(0x0E0A0016, 90) = 1"}));
}

TEST_F(Switch, OrdinaryLevelInStateThreeSwitchesTheFeatureOnAndRecordsIt) {
    m_sim.SetSupportState(3);
    m_sim.SetItem(kFeatureSwitch, "Value", 0);
    StartHelper();
    SleepAndWake(3);
    EXPECT_EQ(Writes(), (Calls{"TorvexSetItem(0x0B060002, 1) = 1", "TorvexSetLevel(3) = 1"}));
    EXPECT_EQ(LastModeByRegQuery(m_folder), "0x3");
    EXPECT_EQ(LastModeIn64BitView(), 3u);
}

TEST_F(Switch, SleepAtLevelZeroLeavesTheFeatureAsItWas) {
    // Level 0 is never restored, so a machine that slept with the feature off wakes with it off.
    m_sim.SetSupportState(3);
    m_sim.SetItem(kFeatureSwitch, "Value", 0);
    StartHelper();
    SleepAndWake(0, PBT_APMRESUMESUSPEND, 0);
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(m_sim.ItemValue(kFeatureSwitch), 0u);
    EXPECT_EQ(LastModeByRegQuery(m_folder), "(none)");
}

TEST_F(Switch, BoxDuringAResumeDoesNotLoseTheRestore) {
    m_sim.SetSupportState(3);
    m_sim.SetItem(kFeatureSwitch, "Readable", 0);
    StartHelper();
    m_helper.Boxes().SetPressDelay(500);
    SleepAndWake(5);
    const auto boxes = m_helper.Boxes().Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "[VeltraDll::IsTorvexOpen] Failed");
    EXPECT_EQ(boxes[0].caption, "");
    EXPECT_EQ(Writes(), (Calls{"TorvexSetItem(0x0B060002, 1) = 1", "TorvexSetLevel(5) = 1"}));
    EXPECT_EQ(LastModeByRegQuery(m_folder), "0x5");
    EXPECT_EQ(m_helper.Power(PBT_APMQUERYSUSPEND), 0); // still answering
}
