#pragma once

#include "level/VeltraDll.h"

#include <string>

// The controller in the test's own process, on the build's simulated library or on a library at a
// path of the test's choosing.
class SimVeltraDll : public VeltraDll {
public:
    SimVeltraDll();
    explicit SimVeltraDll(std::string path);

    std::string GetDllPath() override { return m_path; }

private:
    std::string m_path;
};
