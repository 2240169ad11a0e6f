// A member's time as people read it: plug-ins give seconds since 1970 (UTC); shown in local time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The same moment as Windows counts it (100 ns from 1601, UTC); times before 1601 as 1601.
FILETIME FileTimeOfUnix(int64_t unixTime);

// "YYYY-MM-DD HH:MM:SS" in this machine's local time, with its daylight saving rule for that date.
std::string LocalTimeText(int64_t unixTime);
