// Writes hand-off blocks; the sender's half of the block format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The total length S of the block for `folder` and `paths`. Every path counts with its full length,
// although at most kMaxBlockPath bytes of it are written. Empty when the section of S + 1 bytes
// would not be addressable.
std::optional<uint32_t> HandOffBlockSize(std::string_view folder, const std::vector<std::string>& paths);

// Writes the block into the first S bytes of `block`, zeros included. False, with nothing written,
// when `capacity` is smaller than S.
bool WriteHandOffBlock(char* block, size_t capacity, std::string_view folder, const std::vector<std::string>& paths);
