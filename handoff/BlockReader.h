// Reads hand-off blocks; the receiver's half of the block format.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

struct THandOffRequest {
    std::string Folder;
    std::vector<std::string> Paths;
};

// The folder and the paths of a block, in block order; every read stays inside `block`. A count of
// 0 or less gives no paths; only paths whose zero byte lies inside the block are taken, so a count
// larger than the paths present gives the paths present. Empty when the block has no terminated
// folder followed by a whole count.
std::optional<THandOffRequest> ReadHandOffBlock(std::span<const char> block);
