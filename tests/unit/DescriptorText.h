#pragma once

#include "mirov/Handles.h"

#include <windows.h>

#include <string>

using Descriptor = mirov::UniqueLocal<PSECURITY_DESCRIPTOR>;

// The security descriptor that SDDL text describes; empty when the text is not valid.
Descriptor DescriptorFromText(const std::wstring& text);
