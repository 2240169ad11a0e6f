#include "handoff/Channel.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

std::string SectionName(WPARAM id) {
    char digits[9] = {};
    std::snprintf(digits, sizeof digits, "%08lX", static_cast<unsigned long>(static_cast<uint32_t>(id)));
    return std::string(kSectionPrefix) + digits;
}

UINT RegisterHandOffMessage() noexcept {
    return ::RegisterWindowMessageA(kHandOffMessageName);
}

UINT RegisterWarmUpMessage() noexcept {
    return ::RegisterWindowMessageA(kWarmUpMessageName);
}

namespace {

BOOL CALLBACK TakeReceiver(HWND window, LPARAM found) {
    char className[256] = {};
    ::GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, kReceiverClass) != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

HWND FindReceiver() noexcept {
    // Not FindWindowA: it compares class names without regard to case.
    HWND found = nullptr;
    ::EnumWindows(TakeReceiver, reinterpret_cast<LPARAM>(&found));
    return found;
}
