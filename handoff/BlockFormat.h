// Layout of a hand-off block: total length, folder, path count, paths, end; packed, little-endian.
// Two forms: ANSI (texts in the system code page, each ending in a zero byte, one end byte) and
// Unicode (texts in UTF-16, each ending in a zero unit, one zero unit at the end). The Unicode form
// sets the top bit of the total length: an ANSI block's length is a positive 32-bit number, so no
// ANSI block starts that way, and a receiver that knows only the ANSI form refuses the block whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

inline constexpr size_t kTotalLengthSize = 4;
inline constexpr size_t kFolderOffset = kTotalLengthSize;
inline constexpr size_t kCountSize = 4;
// Empty folder, no paths: length, the folder's zero, count and end byte.
inline constexpr size_t kMinBlockSize = kTotalLengthSize + 1 + kCountSize + 1;
inline constexpr uint32_t kWideFormFlag = 0x80000000u;
// The same for the Unicode form, whose zeros are two bytes each.
inline constexpr size_t kMinWideBlockSize = kTotalLengthSize + 2 + kCountSize + 2;

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

// What the total length field says: the form, and the block's length in bytes.
struct TBlockHead {
    bool Wide = false;
    size_t Size = 0;
};

inline TBlockHead LoadBlockHead(const char* at) noexcept {
    const auto field = static_cast<uint32_t>(LoadInt32(at));
    return {(field & kWideFormFlag) != 0, field & ~kWideFormFlag};
}

// Whether a block of this head could hold its form's folder, count and end at all.
inline bool HeadIsPlausible(TBlockHead head) noexcept {
    return head.Size >= (head.Wide ? kMinWideBlockSize : kMinBlockSize);
}
