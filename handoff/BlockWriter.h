// Writes hand-off blocks; the sender's half of the block format, in either form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The total length S of the block for `folder` and `paths`: the ANSI form for narrow texts, the
// Unicode form for wide ones. Paths into archives know no 260-character limit: every one is written
// whole, and the receiver judges its length. Empty when the section of S + 1 bytes would not be
// addressable.
std::optional<uint32_t> HandOffBlockSize(std::string_view folder, const std::vector<std::string>& paths);
std::optional<uint32_t> HandOffBlockSize(std::wstring_view folder, const std::vector<std::wstring>& paths);

// Writes the block into the first S bytes of `block`, zeros included. False, with nothing written,
// when `capacity` is smaller than S.
bool WriteHandOffBlock(char* block, size_t capacity, std::string_view folder, const std::vector<std::string>& paths);
bool WriteHandOffBlock(char* block, size_t capacity, std::wstring_view folder, const std::vector<std::wstring>& paths);
