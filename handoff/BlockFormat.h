// Layout of a hand-off block: total length, folder, path count, paths, end byte; packed, little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

inline constexpr size_t kTotalLengthSize = 4;
inline constexpr size_t kFolderOffset = kTotalLengthSize;
inline constexpr size_t kCountSize = 4;
// Empty folder, no paths: length, the folder's zero, count and end byte.
inline constexpr size_t kMinBlockSize = kTotalLengthSize + 1 + kCountSize + 1;

// The counts sit at any alignment.
inline int32_t LoadInt32(const char* at) noexcept {
    uint8_t bytes[4];
    std::memcpy(bytes, at, sizeof bytes);
    return static_cast<int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24);
}

inline void StoreInt32(char* at, int32_t value) noexcept {
    const auto bits = static_cast<uint32_t>(value);
    const uint8_t bytes[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                              static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
    std::memcpy(at, bytes, sizeof bytes);
}
