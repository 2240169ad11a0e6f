#include "handoff/BlockReader.h"

#include <cstring>

#include "handoff/BlockFormat.h"

namespace {

// Position of the zero at or after `pos`, stepping by whole units; npos when none lies in the block.
size_t FindZero(std::span<const char> block, size_t pos, char) {
    const void* zero = std::memchr(block.data() + pos, 0, block.size() - pos);
    return zero ? static_cast<size_t>(static_cast<const char*>(zero) - block.data()) : std::string::npos;
}

size_t FindZero(std::span<const char> block, size_t pos, wchar_t) {
    for (; block.size() - pos >= sizeof(wchar_t); pos += sizeof(wchar_t))
        if (block[pos] == 0 && block[pos + 1] == 0)
            return pos;
    return std::string::npos;
}

// The zero-terminated text at `pos`, stepping past its zero; false when the zero is not in the block.
template <typename TChar>
bool ReadText(std::span<const char> block, size_t& pos, std::basic_string<TChar>& text) {
    const size_t end = FindZero(block, pos, TChar{});
    if (end == std::string::npos)
        return false;
    text.resize((end - pos) / sizeof(TChar));
    std::memcpy(text.data(), block.data() + pos, end - pos);
    pos = end + sizeof(TChar);
    return true;
}

template <typename TChar>
std::optional<THandOffRequestOf<TChar>> ReadBlock(std::span<const char> block) {
    constexpr bool wide = sizeof(TChar) > 1;
    if (block.size() < (wide ? kMinWideBlockSize : kMinBlockSize) || IsWideHandOffBlock(block) != wide ||
        block.size() % sizeof(TChar) != 0)
        return std::nullopt;
    THandOffRequestOf<TChar> request;
    size_t pos = kFolderOffset;
    if (!ReadText(block, pos, request.Folder) || block.size() - pos < kCountSize)
        return std::nullopt;
    const int32_t count = LoadInt32(block.data() + pos);
    pos += kCountSize;
    std::basic_string<TChar> path;
    for (int32_t i = 0; i < count && pos < block.size() && ReadText(block, pos, path); ++i)
        request.Paths.push_back(path);
    return request;
}

}  // namespace

bool IsWideHandOffBlock(std::span<const char> block) {
    return block.size() >= kTotalLengthSize && LoadBlockHead(block.data()).Wide;
}

std::optional<THandOffRequest> ReadHandOffBlock(std::span<const char> block) {
    return ReadBlock<char>(block);
}

std::optional<TWideHandOffRequest> ReadWideHandOffBlock(std::span<const char> block) {
    return ReadBlock<wchar_t>(block);
}
