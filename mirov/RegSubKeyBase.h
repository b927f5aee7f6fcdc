#pragma once

#include "mirov/RegNameBase.h"

#include <windows.h>

namespace mirov {

// Enumeration support for the sub-keys of one key.
class RegSubKeyBase : public detail::RegNameBase {
public:
    explicit RegSubKeyBase(HKEY key) : RegNameBase(key, Names::SubKeys) {}
};

} // namespace mirov
