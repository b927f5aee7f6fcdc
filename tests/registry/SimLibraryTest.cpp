// The simulated library keeps its keys and journal open while it is loaded: what a test changes,
// deletes or empties meanwhile must still be what the next call reads and where its line goes.
#include "mirov/Handles.h"
#include "mirov/Lookup.h"
#include "tests/support/SimTorvex.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>

namespace {

using GetLevel = unsigned char(WINAPI*)(uint32_t*);

TEST(SimLibrary, ReadsWhatTheTestChangedDeletedOrEmptiedSinceItsLastCall) {
    SimTorvex sim("SimLibrary.Changes");
    const mirov::UniqueModule library(::LoadLibraryA(SimTorvex::LibraryPath().c_str()));
    ASSERT_TRUE(library);
    const auto getLevel = mirov::Lookup<GetLevel>(library.Get(), "TorvexGetLevel");
    ASSERT_NE(getLevel, nullptr);
    const auto level = [getLevel] {
        uint32_t value = 0xFFFF;
        return getLevel(&value) ? value : 0xDEADu;
    };

    sim.Set("Level", 3);
    EXPECT_EQ(level(), 3u);
    sim.Set("Level", 4);
    EXPECT_EQ(level(), 4u);
    sim.Reset(); // the key deleted: the library's default
    EXPECT_EQ(level(), 0u);
    sim.Set("Level", 5); // the key made anew
    EXPECT_EQ(level(), 5u);
    sim.ClearJournal();
    level();
    EXPECT_EQ(sim.Journal(), std::vector<std::string>{"TorvexGetLevel(&5) = 1"});
}

} // namespace
