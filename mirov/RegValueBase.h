#pragma once

#include "mirov/RegNameBase.h"

#include <windows.h>

namespace mirov {
namespace detail {

// Enumeration support for the values of one key.
class RegValueBase : public RegNameBase {
public:
    explicit RegValueBase(HKEY key) : RegNameBase(key, Names::Values) {}
};

} // namespace detail
} // namespace mirov
