#include "base/TimeText.h"

#include <algorithm>
#include <cstdio>

namespace {

// Seconds between 1601 and 1970.
constexpr int64_t kEpochsApart = 11644473600LL;

}  // namespace

FILETIME FileTimeOfUnix(int64_t unixTime) {
    const uint64_t ticks = static_cast<uint64_t>(std::max(unixTime, -kEpochsApart) + kEpochsApart) * 10000000ULL;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

std::string LocalTimeText(int64_t unixTime) {
    const FILETIME utc = FileTimeOfUnix(unixTime);
    SYSTEMTIME universal = {};
    SYSTEMTIME local = {};
    if (unixTime < -kEpochsApart || !::FileTimeToSystemTime(&utc, &universal) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return "0000-00-00 00:00:00";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", local.wYear, local.wMonth, local.wDay, local.wHour,
                  local.wMinute, local.wSecond);
    return text;
}
