#include "base/TimeText.h"

#include <windows.h>

#include <cstdio>

std::string LocalTimeText(int64_t unixTime) {
    // FILETIME counts 100 ns from 1601; 11644473600 s lie between the two epochs.
    const uint64_t ticks = static_cast<uint64_t>(unixTime + 11644473600LL) * 10000000ULL;
    const FILETIME utc = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME universal = {};
    SYSTEMTIME local = {};
    if (unixTime < -11644473600LL || !::FileTimeToSystemTime(&utc, &universal) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return "0000-00-00 00:00:00";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", local.wYear, local.wMonth, local.wDay, local.wHour,
                  local.wMinute, local.wSecond);
    return text;
}
