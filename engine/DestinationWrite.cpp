#include "engine/DestinationWrite.h"

#include <algorithm>
#include <memory>

#include "base/Owned.h"
#include "engine/Temporary.h"

namespace {

// Large enough that per-call costs vanish, small enough for any 32-bit address space.
constexpr uint32_t kCopyChunk = 4u << 20;

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
        const auto chunk = std::make_unique<char[]>(static_cast<size_t>(std::min<uint64_t>(size, kCopyChunk)) + 1);
        for (uint64_t left = size; left > 0;) {
            const auto want = static_cast<DWORD>(std::min<uint64_t>(left, kCopyChunk));
            DWORD got = 0;
            if (!::ReadFile(source, chunk.get(), want, &got, nullptr))
                return {LastErrorOr(ERROR_READ_FAULT), true};
            // The source shrank since it was located.
            if (got == 0)
                return {ERROR_HANDLE_EOF, true};
            if (const DWORD error = WriteAll(file, chunk.get(), got))
                return {error};
            left -= got;
        }
        return {};
    });
}

TWin32Result MoveToFile(const std::string& destPath, const std::string& finished) {
    if (::MoveFileExA(finished.c_str(), destPath.c_str(), MOVEFILE_REPLACE_EXISTING))
        return {};
    return {LastErrorOr(ERROR_WRITE_FAULT)};
}
