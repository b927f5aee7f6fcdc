#include "mirov/RegAccessor.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Scenarios that end their process through a failed check, run by the tests in a child:
// "TorvexRegistryTests.exe --probe <name> <key path under HKLM>".
int RunProbe(const char* name, const char* path) {
    mirov::RegAccessor key;
    if (!key.Open(HKEY_LOCAL_MACHINE, path, true, KEY_QUERY_VALUE))
        return 101;
    if (std::strcmp(name, "open-twice") == 0)
        key.Open(HKEY_LOCAL_MACHINE, path, true, KEY_QUERY_VALUE);
    else if (std::strcmp(name, "attach-twice") == 0)
        key.Attach(HKEY_LOCAL_MACHINE);
    return 100; // the check let the second open through
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--probe") == 0)
        return RunProbe(argv[2], argv[3]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
