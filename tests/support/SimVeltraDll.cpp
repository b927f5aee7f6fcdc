#include "tests/support/SimVeltraDll.h"

#include "tests/support/TestFolder.h"

#include <utility>

SimVeltraDll::SimVeltraDll() : SimVeltraDll(SimLibraryPath()) {}

SimVeltraDll::SimVeltraDll(std::string path) : m_path(std::move(path)) {}

std::string SimVeltraDll::SimLibraryPath() {
    return TestFolder::BinFolder() + "Torvex.dll";
}
