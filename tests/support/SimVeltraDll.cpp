#include "tests/support/SimVeltraDll.h"

#include "tests/support/SimTorvex.h"

#include <utility>

SimVeltraDll::SimVeltraDll() : SimVeltraDll(SimTorvex::LibraryPath()) {}

SimVeltraDll::SimVeltraDll(std::string path) : m_path(std::move(path)) {}
