#include "level/VeltraImp.h"
#include "tests/support/ScratchKey.h"
#include "tests/system/HelperTestBase.h"
#include "tools/common/ProcessFigures.h"

#include <algorithm>

namespace {

constexpr int kCycles = 10000;

bool ReadFigures(HelperProcess& helper, ProcessFigures& figures) {
    return ReadProcessFigures(helper.Process().Handle(), helper.Process().Pid(), figures);
}

} // namespace

// Many sleeps and wakes in the richest state: every resume switches exactly once, the record is
// right at the end, and the program holds no more handles or threads than at the start.
using Soak = HelperTest;

TEST_F(Soak, TenThousandCyclesAtTheUserLevel) {
    for (int k = 1; k <= 6; ++k)
        m_programKey.SetDword(("Threshold" + std::to_string(k)).c_str(), 10u * k);
    m_sim.SetSupportState(3);
    m_sim.Set("Level", kUserLevel);
    StartHelper();
    m_helper.Power(PBT_APMSUSPEND);
    m_helper.Power(PBT_APMRESUMESUSPEND); // everything created on first use exists from here on
    ProcessFigures before;
    ASSERT_TRUE(ReadFigures(m_helper, before));
    m_sim.ClearJournal();

    for (int cycle = 0; cycle < kCycles; ++cycle) {
        ASSERT_EQ(m_helper.Power(PBT_APMSUSPEND), 0) << "cycle " << cycle;
        ASSERT_EQ(m_helper.Power(PBT_APMRESUMESUSPEND), 0) << "cycle " << cycle;
    }

    ProcessFigures after;
    ASSERT_TRUE(ReadFigures(m_helper, after));
    const auto switches = m_sim.Calls({"TorvexSetLevel"});
    EXPECT_EQ(switches.size(), static_cast<size_t>(kCycles));
    EXPECT_EQ(std::count(switches.begin(), switches.end(), "TorvexSetLevel(32768) = 1"), kCycles);
    EXPECT_EQ(m_programKey.Dword("LastMode"), kUserLevel);
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_EQ(after.handles, before.handles);
    EXPECT_TRUE(m_helper.Boxes().Boxes().empty());
    std::printf("soak: %d cycles; threads %lu -> %lu, handles %lu -> %lu, private bytes %lu -> %lu\n",
                kCycles, before.threads, after.threads, before.handles, after.handles,
                static_cast<unsigned long>(before.privateBytes),
                static_cast<unsigned long>(after.privateBytes));
}
