#include "handoff/BlockReader.h"

#include <cstring>

#include "handoff/BlockFormat.h"

namespace {

// The zero-terminated text at `pos`, stepping past its zero; false when the zero is not in the block.
bool ReadText(std::span<const char> block, size_t& pos, std::string& text) {
    const void* zero = std::memchr(block.data() + pos, 0, block.size() - pos);
    if (!zero)
        return false;
    const size_t end = static_cast<size_t>(static_cast<const char*>(zero) - block.data());
    text.assign(block.data() + pos, end - pos);
    pos = end + 1;
    return true;
}

}  // namespace

std::optional<THandOffRequest> ReadHandOffBlock(std::span<const char> block) {
    if (block.size() < kMinBlockSize)
        return std::nullopt;
    THandOffRequest request;
    size_t pos = kFolderOffset;
    if (!ReadText(block, pos, request.Folder) || block.size() - pos < kCountSize)
        return std::nullopt;
    const int32_t count = LoadInt32(block.data() + pos);
    pos += kCountSize;
    std::string path;
    for (int32_t i = 0; i < count && pos < block.size() && ReadText(block, pos, path); ++i)
        request.Paths.push_back(path);
    return request;
}
