#include "level/VeltraDll.h"

#include "tests/support/OwnTrace.h"
#include "tests/support/SimService.h"
#include "tests/support/SimTorvex.h"
#include "tests/support/SimVeltraDll.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

} // namespace

TEST(VeltraDllCheckOC, LibraryYesSettlesItWithoutAskingTheService) {
    SimTorvex torvex(CurrentTestName());
    torvex.Set("CheckOC", 1);
    SimService service("--first 1"); // would say no, were it asked
    ASSERT_TRUE(service.IsReady());
    OwnTrace trace;
    SimVeltraDll dll;
    ASSERT_TRUE(dll.Init());
    torvex.ClearJournal();

    EXPECT_TRUE(dll.CheckOC());
    EXPECT_EQ(torvex.Calls({"TorvexCheckOC"}), Lines{"TorvexCheckOC(&1) = 1"});
    EXPECT_TRUE(service.Requests().empty());
    EXPECT_TRUE(trace.Take().empty());
}

TEST(VeltraDllCheckOC, OtherwiseTheServiceDecidesWithOneAndTwoMeaningNo) {
    SimTorvex torvex(CurrentTestName());
    torvex.Set("CheckOC", 0);
    SimService service("--first 0,1,2,3 --second 1");
    ASSERT_TRUE(service.IsReady());
    OwnTrace trace;
    SimVeltraDll dll;
    ASSERT_TRUE(dll.Init());

    EXPECT_TRUE(dll.CheckOC());  // 0
    EXPECT_FALSE(dll.CheckOC()); // 1
    EXPECT_FALSE(dll.CheckOC()); // 2
    EXPECT_TRUE(dll.CheckOC());  // 3, and from here on
    // Any library answer but 1, and a failing library call, go to the service as well.
    torvex.Set("CheckOC", 2);
    EXPECT_TRUE(dll.CheckOC());
    torvex.Set("CheckOC", 1);
    torvex.SetResult("TorvexCheckOC", 0);
    EXPECT_TRUE(dll.CheckOC());
    EXPECT_EQ(service.Requests(), Lines(6, "01 00 00 80"));
    EXPECT_TRUE(trace.Take().empty());
}

TEST(VeltraDllCheckOC, UnboundLibraryLeavesItToTheService) {
    SimService service("--first 0,2");
    ASSERT_TRUE(service.IsReady());
    VeltraDll dll; // never bound: its entry points are all unresolved
    EXPECT_TRUE(dll.CheckOC());
    EXPECT_FALSE(dll.CheckOC());
    EXPECT_EQ(service.Requests(), Lines(2, "01 00 00 80"));
}

TEST(VeltraDllCheckOC, EveryServiceFailureMeansNo) {
    SimTorvex torvex(CurrentTestName());
    torvex.SetResult("TorvexCheckOC", 0);
    OwnTrace trace;
    SimVeltraDll dll;
    ASSERT_TRUE(dll.Init());

    EXPECT_FALSE(dll.CheckOC()); // no service
    EXPECT_EQ(trace.Take(), Lines{"[BasicNamedPipe<char_t>::Call] failed, GetLastError returned 2\r\n"});

    SimService service("--first 0 --status 1,0,1 --length 8,12,0");
    ASSERT_TRUE(service.IsReady());
    EXPECT_FALSE(dll.CheckOC()); // 8 bytes: no values
    EXPECT_FALSE(dll.CheckOC()); // status 0
    EXPECT_FALSE(dll.CheckOC()); // an empty reply
    EXPECT_EQ(service.Requests().size(), 3u);
    EXPECT_TRUE(trace.Take().empty());
}
