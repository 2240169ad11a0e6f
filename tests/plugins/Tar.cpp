#include "tests/plugins/Readers.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kvspi {
namespace {

constexpr uint32_t kBlock = 512;
// Long names and extended headers beyond this are taken as corruption.
constexpr uint32_t kMaxNameData = 64 * 1024;

std::string_view Field(const uint8_t* header, size_t offset, size_t size) {
    const auto* begin = reinterpret_cast<const char*>(header + offset);
    return std::string_view(begin, std::find(begin, begin + size, '\0') - begin);
}

// Octal digits padded with spaces or NULs, or GNU base-256 for large values; false when malformed
// or beyond 32 bits.
bool ParseNumber(const uint8_t* field, size_t size, uint32_t* value) {
    uint64_t result = 0;
    if (field[0] == 0x80) {
        for (size_t i = 1; i < size; ++i) {
            result = (result << 8) | field[i];
            if (result > UINT32_MAX)
                return false;
        }
        *value = static_cast<uint32_t>(result);
        return true;
    }
    size_t i = 0;
    while (i < size && field[i] == ' ')
        ++i;
    const size_t digits = i;
    for (; i < size && field[i] >= '0' && field[i] <= '7'; ++i) {
        result = result * 8 + (field[i] - '0');
        if (result > UINT32_MAX)
            return false;
    }
    if (i == digits)
        return false;
    for (; i < size; ++i) {
        if (field[i] != ' ' && field[i] != '\0')
            return false;
    }
    *value = static_cast<uint32_t>(result);
    return true;
}

bool ChecksumMatches(const uint8_t* header) {
    uint32_t stored = 0;
    if (!ParseNumber(header + 148, 8, &stored))
        return false;
    // The checksum field counts as spaces; some old writers summed signed bytes.
    uint32_t sum = 0;
    int32_t signedSum = 0;
    for (uint32_t i = 0; i < kBlock; ++i) {
        const uint8_t byte = i >= 148 && i < 156 ? ' ' : header[i];
        sum += byte;
        signedSum += static_cast<int8_t>(byte);
    }
    return stored == sum || stored == static_cast<uint32_t>(signedSum);
}

bool IsZeroBlock(const uint8_t* header) {
    return std::all_of(header, header + kBlock, [](uint8_t b) { return b == 0; });
}

bool IsRegularFile(const uint8_t* header) {
    const char type = static_cast<char>(header[156]);
    return type == '0' || type == '\0' || type == '7';
}

// POSIX ustar splits long names into prefix and name; GNU tar uses that area for other data.
std::string HeaderName(const uint8_t* header) {
    std::string name(Field(header, 0, 100));
    if (std::memcmp(header + 257, "ustar\0", 6) == 0) {
        if (const std::string_view prefix = Field(header, 345, 155); !prefix.empty())
            name = std::string(prefix) + "/" + name;
    }
    return name;
}

// The "path" record of a pax extended header ("LENGTH path=VALUE\n" records), if there is one.
bool PaxPath(std::string_view data, std::string* path) {
    while (!data.empty()) {
        size_t length = 0;
        size_t i = 0;
        for (; i < data.size() && data[i] >= '0' && data[i] <= '9' && length <= kMaxNameData; ++i)
            length = length * 10 + (data[i] - '0');
        if (length < i + 2 || length > data.size() || data[i] != ' ' || data[length - 1] != '\n')
            return false;
        const std::string_view record = data.substr(i + 1, length - i - 2);
        if (record.substr(0, 5) == "path=") {
            *path = std::string(record.substr(5));
            return true;
        }
        data.remove_prefix(length);
    }
    return false;
}

bool ReadHeader(const Source& source, uint32_t offset, uint8_t* header) {
    return source.Size() - offset >= kBlock && source.Read(offset, header, kBlock);
}

}  // namespace

bool IsTarHeader(const uint8_t* data, size_t size) {
    return size >= kBlock && std::memcmp(data + 257, "ustar", 5) == 0 && ChecksumMatches(data);
}

bool TarFind(const Source& source, const Query& query, fileInfo* info) {
    uint8_t header[kBlock];
    std::string longName;  // from an 'L' or pax header, for the next member only
    bool hasLongName = false;
    Finding finding;
    for (uint32_t offset = 0; ReadHeader(source, offset, header);) {
        uint32_t size = 0;
        if (IsZeroBlock(header))
            break;  // the archive's end
        if (!ChecksumMatches(header) || !ParseNumber(header + 124, 12, &size))
            return finding.Give(info);
        const uint32_t dataOffset = offset + kBlock;
        if (size > source.Size() - dataOffset)
            return finding.Give(info);
        const char type = static_cast<char>(header[156]);
        if (type == 'L' || type == 'x') {
            if (size > kMaxNameData)
                return finding.Give(info);
            std::string data(size, '\0');
            if (!source.Read(dataOffset, data.data(), size))
                return finding.Give(info);
            if (type == 'L') {
                longName = data.substr(0, data.find('\0'));
                hasLongName = true;
            } else if (PaxPath(data, &longName)) {
                hasLongName = true;
            }
        } else if (IsRegularFile(header)) {
            bool exact = false;
            if (MatchMember(MemberName(hasLongName ? longName : HeaderName(header), query.slashes), query, info,
                            &exact)) {
                SetMethod(info, "tar");
                info->position = source.Origin() + offset;
                info->compsize = size;
                info->filesize = size;
                uint32_t time = 0;
                info->timestamp = ParseNumber(header + 136, 12, &time) ? time : 0;
                info->crc = 0;
                if (query.all)
                    query.all->push_back(*info);
                else if (finding.Take(*info, exact))
                    return true;
            }
            hasLongName = false;
        } else if (type != 'K' && type != 'g') {
            hasLongName = false;  // directories, links, devices: no members
        }
        const uint64_t padded = (uint64_t{size} + kBlock - 1) / kBlock * kBlock;
        if (padded > source.Size() - dataOffset)
            return finding.Give(info);
        offset = dataOffset + static_cast<uint32_t>(padded);
    }
    return query.all != nullptr || finding.Give(info);
}

bool TarExtract(const Source& source, OutputBlock& block, const Progress& progress) {
    uint8_t header[kBlock];
    uint32_t size = 0;
    if (!ReadHeader(source, 0, header) || !IsTarHeader(header, kBlock) || !IsRegularFile(header) ||
        !ParseNumber(header + 124, 12, &size) || size > source.Size() - kBlock)
        return false;
    return block.Allocate(size) && source.ReadTelling(kBlock, block.Data(), size, progress);
}

}  // namespace kvspi
