#pragma once

#include <windows.h>

#include <string>

#include "base/SystemPath.h"

// Shared reading lets others read the archive while we do; a file locked by a writer fails.
inline HANDLE OpenForReading(const std::string& path) {
    return ::CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
}
