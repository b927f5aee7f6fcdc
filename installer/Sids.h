#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Security identifiers held as their bytes, and the names people read for them.
using SidBytes = std::vector<BYTE>;

// A well-known SID (SYSTEM, Administrators, ...); empty when it cannot be made.
SidBytes WellKnownSid(WELL_KNOWN_SID_TYPE type);
// A SID from its text form (S-1-5-...); empty when the text is no SID.
SidBytes SidFromText(const wchar_t* text);
// The account of the running process's token; empty when it cannot be read.
SidBytes ProcessAccountSid();
// DOMAIN\Name of an account, or its S-1-... form when it has no name here.
std::wstring AccountName(PSID sid);
