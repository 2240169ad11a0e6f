// Reads hand-off blocks; the receiver's half of the block format, in either form.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

template <typename TChar>
struct THandOffRequestOf {
    std::basic_string<TChar> Folder;
    std::vector<std::basic_string<TChar>> Paths;
};
using THandOffRequest = THandOffRequestOf<char>;
using TWideHandOffRequest = THandOffRequestOf<wchar_t>;

// Whether the block's total length field marks the Unicode form; false for a block too short to say.
bool IsWideHandOffBlock(std::span<const char> block);

// The folder and the paths of a block, in block order; every read stays inside `block`. A count of
// 0 or less gives no paths; only paths whose zero lies inside the block are taken, so a count
// larger than the paths present gives the paths present. Empty when the block has no terminated
// folder followed by a whole count, or is of the other form. The Unicode form's units are taken as
// they are, a lone surrogate included: whether such a name can be used is the caller's to judge. A
// Unicode block of an odd length is empty: its sender lays out units otherwise than we do.
std::optional<THandOffRequest> ReadHandOffBlock(std::span<const char> block);
std::optional<TWideHandOffRequest> ReadWideHandOffBlock(std::span<const char> block);
