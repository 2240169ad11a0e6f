#include "tests/plugins/Readers.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace kvspi {

bool Progress::Tell(uint32_t done, uint32_t total) const {
    if (!callback)
        return true;
    // The callback counts in ints.
    while (total > INT_MAX) {
        done >>= 1;
        total >>= 1;
    }
    stopped = stopped || callback(static_cast<int>(done), static_cast<int>(total), data) != 0;
    return !stopped;
}

bool Source::Open(const char* source, LONG_PTR length, unsigned int flag, DWORD share) {
    if (!source || length < 0)
        return false;
    switch (flag & kSpiInputMask) {
        case kSpiInputMemory:
            memory_ = reinterpret_cast<const uint8_t*>(source);
            size_ = static_cast<uint32_t>(length);
            return true;
        case kSpiInputDisk:
            file_.Reset(
                ::CreateFileA(source, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            return TakeFile(length);
        default:
            return false;
    }
}

bool Source::Open(const WCHAR* source, LONG_PTR length, unsigned int flag) {
    if (!source || length < 0 || (flag & kSpiInputMask) != kSpiInputDisk)
        return Open(reinterpret_cast<const char*>(source), length, flag);
    file_.Reset(::CreateFileW(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    return TakeFile(length);
}

bool Source::TakeFile(LONG_PTR length) {
    LARGE_INTEGER fileSize;
    if (!file_ || !::GetFileSizeEx(file_.Get(), &fileSize) || fileSize.QuadPart < length)
        return false;
    origin_ = static_cast<uint32_t>(length);
    // Positions are 32-bit: whatever lies beyond them is out of reach.
    size_ = static_cast<uint32_t>(std::min<int64_t>(fileSize.QuadPart - length, UINT32_MAX - origin_));
    return true;
}

bool Source::Read(uint32_t offset, void* buffer, uint32_t count) const {
    if (offset > size_ || count > size_ - offset)
        return false;
    if (memory_) {
        std::memcpy(buffer, memory_ + offset, count);
        return true;
    }
    LARGE_INTEGER where;
    where.QuadPart = static_cast<int64_t>(origin_) + offset;
    if (!::SetFilePointerEx(file_.Get(), where, nullptr, FILE_BEGIN))
        return false;
    for (auto* out = static_cast<uint8_t*>(buffer); count > 0;) {
        DWORD got = 0;
        if (!::ReadFile(file_.Get(), out, count, &got, nullptr) || got == 0)
            return false;
        out += got;
        count -= got;
    }
    return true;
}

bool Source::ReadTelling(uint32_t offset, void* buffer, uint32_t count, const Progress& progress) const {
    constexpr uint32_t kStep = 64 << 10;
    auto* out = static_cast<uint8_t*>(buffer);
    for (uint32_t done = 0; done < count;) {
        const uint32_t step = std::min(kStep, count - done);
        if (!Read(offset + done, out + done, step))
            return false;
        done += step;
        if (!progress.Tell(done, count))
            return false;
    }
    return true;
}

OutputBlock::~OutputBlock() {
    if (data_)
        ::LocalUnlock(handle_.Get());
}

bool OutputBlock::Allocate(uint32_t size) {
    handle_.Reset(::LocalAlloc(LMEM_MOVEABLE, std::max<uint32_t>(size, 1)));
    data_ = handle_ ? static_cast<uint8_t*>(::LocalLock(handle_.Get())) : nullptr;
    size_ = size;
    return data_ != nullptr;
}

bool OutputBlock::Resize(uint32_t size) {
    if (!handle_)
        return false;
    // A moveable block can only move while unlocked.
    ::LocalUnlock(handle_.Get());
    if (HLOCAL moved = ::LocalReAlloc(handle_.Get(), std::max<uint32_t>(size, 1), LMEM_MOVEABLE)) {
        handle_.Release();
        handle_.Reset(moved);
        size_ = size;
    }
    data_ = static_cast<uint8_t*>(::LocalLock(handle_.Get()));
    return data_ && size_ == size;
}

HLOCAL OutputBlock::Release() {
    if (data_)
        ::LocalUnlock(handle_.Get());
    data_ = nullptr;
    return handle_.Release();
}

}  // namespace kvspi
