// The named section a hand-off block travels in.
#pragma once

#include <cstddef>

// Bytes that can be read from `view` on: the mapped region, whole pages. 0 when it cannot be told.
size_t MappedSize(const void* view) noexcept;
