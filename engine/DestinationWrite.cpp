#include "engine/DestinationWrite.h"

#include <algorithm>
#include <memory>

#include "base/Owned.h"
#include "engine/Temporary.h"

namespace {

// Large enough that per-call costs vanish, small enough for any 32-bit address space; a multiple
// of the allocation granularity, as view offsets must be.
constexpr uint32_t kCopyChunk = 64u << 20;

DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

// fill writes the temporary file and says how it went.
template <typename Fill>
TWin32Result WriteThroughTemporary(const std::string& destPath, Fill fill) {
    DWORD error = ERROR_SUCCESS;
    TNewFile temporary = CreateUniqueFile(FolderOf(destPath), ".tmp", FILE_ATTRIBUTE_NORMAL, error);
    if (!temporary.Handle)
        return {error};
    TWin32Result result = fill(temporary.Handle.Get());
    temporary.Handle.Reset();
    if (result)
        result = MoveToFile(destPath, temporary.Path);
    if (!result)
        ::DeleteFileA(temporary.Path.c_str());
    return result;
}

// The bytes reach the disk before the name does: after a power cut the destination holds the old
// file or the new one, never a new name over blocks that were not written.
DWORD FlushToDisk(const std::string& path) {
    UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !::FlushFileBuffers(file.Get()))
        return LastErrorOr(ERROR_WRITE_FAULT);
    return ERROR_SUCCESS;
}

// Whether the old file may be moved out of the way now, as a replacement does. Asked first because
// Wine's ReplaceFileA leaves a stray empty file beside the destination when it finds out itself.
bool CanMoveAside(const std::string& path) {
    return static_cast<bool>(UniqueHandle(::CreateFileA(path.c_str(), DELETE,
                                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
}

DWORD WriteAll(HANDLE file, const void* data, uint32_t size) {
    DWORD written = 0;
    if (!::WriteFile(file, data, size, &written, nullptr) || written != size)
        return LastErrorOr(ERROR_WRITE_FAULT);
    return ERROR_SUCCESS;
}

}  // namespace

TWin32Result WriteBlockToFile(const std::string& destPath, const void* data, uint32_t size) {
    if (!data)
        return {ERROR_INVALID_PARAMETER};
    return WriteThroughTemporary(destPath, [&](HANDLE file) { return TWin32Result{WriteAll(file, data, size)}; });
}

TWin32Result CopyToFile(const std::string& destPath, HANDLE source, uint64_t size) {
    return WriteThroughTemporary(destPath, [&](HANDLE file) -> TWin32Result {
        // An empty file has nothing to map.
        if (size == 0)
            return {};
        UniqueHandle mapping(::CreateFileMappingA(source, nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (!mapping)
            return {LastErrorOr(ERROR_READ_FAULT), true};
        // A window of the file at a time: any size fits a 32-bit address space, and the bytes go
        // from the file's pages to the write without a copy of our own.
        for (uint64_t offset = 0; offset < size; offset += kCopyChunk) {
            const auto length = static_cast<DWORD>(std::min<uint64_t>(size - offset, kCopyChunk));
            UniqueView view(::MapViewOfFile(mapping.Get(), FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                                            static_cast<DWORD>(offset), length));
            if (!view)
                return {LastErrorOr(ERROR_READ_FAULT), true};
            if (const DWORD error = WriteAll(file, view.Get(), length))
                return {error};
        }
        return {};
    });
}

TWin32Result MoveToFile(const std::string& destPath, const std::string& finished) {
    if (const DWORD error = FlushToDisk(finished))
        return {error};
    const DWORD kept = ::GetFileAttributesA(destPath.c_str());
    const bool replacing = kept != INVALID_FILE_ATTRIBUTES && !(kept & FILE_ATTRIBUTE_DIRECTORY);
    // A read-only file cannot be replaced; it is read-only again afterwards.
    if (replacing && (kept & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesA(destPath.c_str(), kept & ~FILE_ATTRIBUTE_READONLY);
    // ReplaceFileA keeps the old file's security, streams and identity; where the volume cannot,
    // a rename does, written through so that it reaches the disk after the data, never before.
    const bool moved =
        (replacing && CanMoveAside(destPath) &&
         ::ReplaceFileA(destPath.c_str(), finished.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) ||
        ::MoveFileExA(finished.c_str(), destPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    const DWORD error = moved ? ERROR_SUCCESS : LastErrorOr(ERROR_WRITE_FAULT);
    // The attributes as they were, on the new content or, after a failure, on the old file.
    if (replacing)
        ::SetFileAttributesA(destPath.c_str(), moved ? (kept & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_ARCHIVE : kept);
    return {error};
}
