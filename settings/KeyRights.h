#pragma once

#include "mirov/Contract.h"

#include <windows.h>

// What the program asks for on its key HKLM\Software\Orvane\TORVEX3, and no more: a standard user's
// logon may read the vendor's key without being allowed to change it, and the thresholds must still
// be read then. Never the rights to delete the key or change its access list or owner.

// Reading the thresholds; the registry wrapper's key query needs the same right.
constexpr REGSAM kKeyReadRights = KEY_QUERY_VALUE;
// Deleting the thresholds once used and recording "LastMode".
constexpr REGSAM kKeySetValueRights = contract::kThresholdKeyRights;
