// A section that another process hands over by its handle value: the only kind of handle a plug-in
// host may pass on, whatever a plug-in that took it over writes into its messages.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/Owned.h"

// Takes the handle that value names in process out of it (closing it there), with read and query
// access only; null when it names no section there.
UniqueHandle TakeSection(HANDLE process, uint64_t value);
