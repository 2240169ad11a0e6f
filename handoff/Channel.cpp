#include "handoff/Channel.h"

#include <cstdint>
#include <cstdio>

std::string SectionName(WPARAM id) {
    char digits[9] = {};
    std::snprintf(digits, sizeof digits, "%08lX", static_cast<unsigned long>(static_cast<uint32_t>(id)));
    return std::string(kSectionPrefix) + digits;
}

UINT RegisterHandOffMessage() noexcept {
    return ::RegisterWindowMessageA(kHandOffMessageName);
}
