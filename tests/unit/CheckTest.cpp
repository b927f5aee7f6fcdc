#include "mirov/Check.h"

#include "tests/unit/Probes.h"

#include <gtest/gtest.h>

TEST(Check, MessageNamesExpressionFileAndLine) {
    EXPECT_EQ(mirov::CheckMessage("IsSupported()", "level/Veltra.cpp", 42),
              "Assertion failed: IsSupported(), file level/Veltra.cpp, line 42");
}

TEST(Check, MessageIsCutAt245BeforeTheLineNumber) {
    const std::string expression(300, 'x');
    const std::string message = mirov::CheckMessage(expression.c_str(), "a.cpp", 1234);
    EXPECT_EQ(message, ("Assertion failed: " + expression).substr(0, 245) + "1234");

    // Exactly 245 characters before the number: nothing is cut.
    const std::string fits(245 - std::string("Assertion failed: , file f.cpp, line ").size(), 'y');
    EXPECT_EQ(mirov::CheckMessage(fits.c_str(), "f.cpp", 7),
              "Assertion failed: " + fits + ", file f.cpp, line 7");
}

TEST(Check, FailedCheckShowsTwoBoxesAndExitsWith3) {
    TestFolder folder(CurrentTestName());
    const ProbeOutcome outcome = RunProbeChild(folder, "no-index");
    EXPECT_EQ(outcome.exitCode, 3u);
    ASSERT_EQ(outcome.boxes.size(), 2u);
    const std::string prefix = "Assertion failed: m_impIndex != -1, file level/Veltra.cpp, line ";
    EXPECT_EQ(outcome.boxes[0].text.substr(0, prefix.size()), prefix);
    EXPECT_GT(std::stoi(outcome.boxes[0].text.substr(prefix.size())), 0);
    EXPECT_EQ(outcome.boxes[1].text, "Abnormal program termination");
    for (const auto& box : outcome.boxes) {
        EXPECT_EQ(box.caption, "TorvexUnitTests.exe");
        EXPECT_TRUE(box.hasIcon);
    }
}
