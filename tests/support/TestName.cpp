// What needs GoogleTest's idea of the running test; built into the harness only with the tests, so
// that the benchmarks of both builds link without it.
#include "tests/support/ScratchKey.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

namespace {

constexpr char kTestRoot[] = "Software\\TorvexTests\\";

} // namespace

std::string CurrentTestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name) {
        if (c == '/')
            c = '_';
    }
    return name;
}

std::string TestKeyPath() {
    return kTestRoot + CurrentTestName();
}
