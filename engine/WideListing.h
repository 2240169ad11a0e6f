// Wide listings and records. Plug-ins of one width do not agree on the wide record's size (x86-64 ones
// declare it with or without 4 bytes of padding), so a listing is stepped through by the size that
// its block's size and its end record agree on.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "engine/SpiTypes.h"

// The record sizes this width's plug-ins step their wide listings by.
#ifdef _WIN64
inline constexpr size_t kWideRecordSizes[] = {848, 844};
#else
inline constexpr size_t kWideRecordSizes[] = {828};
#endif

// The size among sizes by which stepping through block meets an end record (method[0] zero) that
// ends the block exactly; failing that, the one size whose end record lies inside the block. 0 when
// no size, or more than one, agrees.
size_t WideRecordStep(const unsigned char* block, size_t blockSize, std::span<const size_t> sizes);

// The records before the end record, each read whole into a zeroed fileInfoW (sizes are at least
// kFileInfoWFields); empty when no size agrees.
std::vector<fileInfoW> WideListingRecords(const unsigned char* block,
                                          size_t blockSize,
                                          std::span<const size_t> sizes = kWideRecordSizes);
