#pragma once

#include "tests/support/TestFolder.h"
#include "tools/common/MessageBoxWatcher.h"

#include <windows.h>

#include <string>
#include <vector>

// Scenarios that end their process (failed checks, an unloadable library), run by the tests in
// a child copy of this executable: "TorvexUnitTests.exe --probe <name> <output file>".
int RunProbe(const char* name, const char* outputFile);

struct ProbeOutcome {
    DWORD exitCode;
    std::vector<MessageBoxWatcher::Box> boxes;
};

// Copies this executable into `folder` and runs the probe there, pressing OK on its boxes.
ProbeOutcome RunProbeChild(const TestFolder& folder, const char* name);
