// A member's time as people read it: plug-ins give seconds since 1970 (UTC); shown in local time.
#pragma once

#include <cstdint>
#include <string>

// "YYYY-MM-DD HH:MM:SS" in this machine's local time, with its daylight saving rule for that date.
std::string LocalTimeText(int64_t unixTime);
