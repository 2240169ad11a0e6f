#include "handoff/BlockWriter.h"

#include <cstring>
#include <limits>

#include "handoff/BlockFormat.h"

namespace {

template <typename TChar>
std::optional<uint32_t> BlockSize(std::basic_string_view<TChar> folder,
                                  const std::vector<std::basic_string<TChar>>& paths) {
    // The folder's zero and the end.
    uint64_t units = folder.size() + 2;
    for (const std::basic_string<TChar>& path : paths)
        units += path.size() + 1;
    const uint64_t size = kTotalLengthSize + kCountSize + units * sizeof(TChar);
    // The length is stored in 31 bits and the section is one byte larger.
    if (size >= static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        return std::nullopt;
    return static_cast<uint32_t>(size);
}

// UTF-16 units are stored as they lie in memory: little-endian, as the format wants.
template <typename TChar>
char* PutText(char* at, std::basic_string_view<TChar> text) {
    std::memcpy(at, text.data(), text.size() * sizeof(TChar));
    return at + (text.size() + 1) * sizeof(TChar);
}

template <typename TChar>
bool WriteBlock(char* block,
                size_t capacity,
                std::basic_string_view<TChar> folder,
                const std::vector<std::basic_string<TChar>>& paths) {
    const std::optional<uint32_t> size = BlockSize(folder, paths);
    if (!size || *size > capacity)
        return false;
    std::memset(block, 0, *size);
    const uint32_t form = sizeof(TChar) == 1 ? 0 : kWideFormFlag;
    StoreInt32(block, static_cast<int32_t>(*size | form));
    char* at = PutText(block + kFolderOffset, folder);
    StoreInt32(at, static_cast<int32_t>(paths.size()));
    at += kCountSize;
    for (const std::basic_string<TChar>& path : paths)
        at = PutText(at, std::basic_string_view<TChar>(path));
    return true;
}

}  // namespace

std::optional<uint32_t> HandOffBlockSize(std::string_view folder, const std::vector<std::string>& paths) {
    return BlockSize(folder, paths);
}

std::optional<uint32_t> HandOffBlockSize(std::wstring_view folder, const std::vector<std::wstring>& paths) {
    return BlockSize(folder, paths);
}

bool WriteHandOffBlock(char* block, size_t capacity, std::string_view folder, const std::vector<std::string>& paths) {
    return WriteBlock(block, capacity, folder, paths);
}

bool WriteHandOffBlock(char* block, size_t capacity, std::wstring_view folder, const std::vector<std::wstring>& paths) {
    return WriteBlock(block, capacity, folder, paths);
}
