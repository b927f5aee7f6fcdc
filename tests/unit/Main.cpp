#include "tests/unit/Probes.h"

#include <gtest/gtest.h>

#include <cstring>

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--probe") == 0)
        return RunProbe(argv[2], argc >= 4 ? argv[3] : "probe.out");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
