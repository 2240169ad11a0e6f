#include "engine/WideListing.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace {

// The index of the first end record when stepping by size, or none inside the block.
bool EndRecord(const unsigned char* block, size_t blockSize, size_t size, size_t& index) {
    if (size < kFileInfoWFields)
        return false;
    for (index = 0; (index + 1) * size <= blockSize; ++index)
        if (block[index * size] == 0)
            return true;
    return false;
}

}  // namespace

size_t WideRecordStep(const unsigned char* block, size_t blockSize, std::span<const size_t> sizes) {
    size_t exact = 0;
    size_t inside = 0;
    int exactCount = 0;
    int insideCount = 0;
    for (const size_t size : sizes) {
        size_t index = 0;
        if (!block || !EndRecord(block, blockSize, size, index))
            continue;
        ++insideCount;
        inside = size;
        if ((index + 1) * size == blockSize) {
            ++exactCount;
            exact = size;
        }
    }
    if (exactCount == 1)
        return exact;
    return exactCount == 0 && insideCount == 1 ? inside : 0;
}

std::vector<fileInfoW> WideListingRecords(const unsigned char* block, size_t blockSize, std::span<const size_t> sizes) {
    std::vector<fileInfoW> records;
    const size_t step = WideRecordStep(block, blockSize, sizes);
    if (step == 0)
        return records;
    for (const unsigned char* record = block; *record != 0; record += step) {
        fileInfoW& taken = records.emplace_back();
        std::memset(&taken, 0, sizeof taken);
        std::memcpy(&taken, record, std::min(step, sizeof taken));
    }
    return records;
}
