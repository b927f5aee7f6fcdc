#pragma once

#include <cstdlib>
#include <cstring>

// "--name value" from a tool's command line, or the fallback.
inline unsigned long ToolArg(int argc, char** argv, const char* name, unsigned long fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::strtoul(argv[i + 1], nullptr, 0);
    }
    return fallback;
}
