#include "handoff/BlockWriter.h"

#include <cstring>
#include <limits>

#include "handoff/BlockFormat.h"

std::optional<uint32_t> HandOffBlockSize(std::string_view folder, const std::vector<std::string>& paths) {
    uint64_t size = kMinBlockSize + folder.size();
    for (const std::string& path : paths)
        size += path.size() + 1;
    // The length is stored signed and the section is one byte larger.
    if (size >= static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        return std::nullopt;
    return static_cast<uint32_t>(size);
}

bool WriteHandOffBlock(char* block, size_t capacity, std::string_view folder, const std::vector<std::string>& paths) {
    const std::optional<uint32_t> size = HandOffBlockSize(folder, paths);
    if (!size || *size > capacity)
        return false;
    std::memset(block, 0, *size);
    StoreInt32(block, static_cast<int32_t>(*size));
    char* at = block + kFolderOffset;
    std::memcpy(at, folder.data(), folder.size());
    at += folder.size() + 1;
    StoreInt32(at, static_cast<int32_t>(paths.size()));
    at += kCountSize;
    for (const std::string& path : paths) {
        std::memcpy(at, path.data(), path.size());
        at += path.size() + 1;
    }
    return true;
}
