#include "tests/unit/DescriptorText.h"

#include <sddl.h>

Descriptor DescriptorFromText(const std::wstring& text) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ::ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &descriptor,
                                                           nullptr);
    return Descriptor(descriptor);
}
