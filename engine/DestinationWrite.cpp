#include "engine/DestinationWrite.h"

#include <algorithm>
#include <memory>

#include "base/Owned.h"
#include "base/SystemPath.h"
#include "engine/LevelProgress.h"
#include "engine/Temporary.h"

namespace {

// Our own copy reads and writes this much at a time, as `dd bs=4M` does; a cancel waits for one
// chunk at most.
constexpr DWORD kCopyChunk = 4u << 20;

DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

// fill writes the temporary file (a TNewFile, whose handle it may close) and says how it went.
template <typename Fill>
TWin32Result WriteThroughTemporary(const std::string& destPath, Fill fill) {
    DWORD error = ERROR_SUCCESS;
    TNewFile temporary = CreateUniqueFile(FolderOf(destPath), ".tmp", FILE_ATTRIBUTE_NORMAL, error);
    if (!temporary.Handle)
        return {error};
    TWin32Result result = fill(temporary);
    temporary.Handle.Reset();
    if (result)
        result = MoveToFile(destPath, temporary.Path);
    if (!result)
        ::DeleteFileW(SystemPath(temporary.Path).c_str());
    return result;
}

// The bytes reach the disk before the name does: after a power cut the destination holds the old
// file or the new one, never a new name over blocks that were not written.
DWORD FlushToDisk(const std::string& path) {
    UniqueHandle file(::CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !::FlushFileBuffers(file.Get()))
        return LastErrorOr(ERROR_WRITE_FAULT);
    return ERROR_SUCCESS;
}

// Whether the old file may be moved out of the way now, as a replacement does. Asked first because
// Wine's ReplaceFile leaves a stray empty file beside the destination when it finds out itself.
bool CanMoveAside(const std::string& path) {
    return static_cast<bool>(UniqueHandle(::CreateFileW(SystemPath(path).c_str(), DELETE,
                                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
}

DWORD WriteAll(HANDLE file, const void* data, uint32_t size) {
    DWORD written = 0;
    if (!::WriteFile(file, data, size, &written, nullptr) || written != size)
        return LastErrorOr(ERROR_WRITE_FAULT);
    return ERROR_SUCCESS;
}

// What CopyFileExW calls after every chunk; our own copy calls it the same way.
DWORD CALLBACK CopyProgress(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD,
                            HANDLE, HANDLE, LPVOID data) {
    auto* progress = static_cast<TLevelProgress*>(data);
    // Called from inside the system: nothing may be thrown back into it.
    try {
        if (total.QuadPart > 0)
            progress->Advance(static_cast<double>(done.QuadPart) / static_cast<double>(total.QuadPart));
        return progress->Canceled() ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
    } catch (...) {
        return PROGRESS_CONTINUE;
    }
}

DWORD CALLBACK StopAtOnce(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE,
                          LPVOID called) {
    *static_cast<bool*>(called) = true;
    return PROGRESS_CANCEL;
}

// Whether CopyFileExW calls its progress routine, so that a copy through it reports and can be
// stopped. Wine's (8.0) never calls it and ignores the cancel flag too: a copy there would run to its
// end whatever the user asked. Learned once per process, by copying one byte and stopping at the
// first call.
bool SystemCopyReports() {
    static const bool reports = [] {
        TTemporaryCopy from;
        TTemporaryCopy to;
        if (from.Create("k", 1, "probe.tmp") != ERROR_SUCCESS || to.Create("", 0, "probe.tmp") != ERROR_SUCCESS)
            return false;
        bool called = false;
        ::CopyFileExW(SystemPath(from.Path()).c_str(), SystemPath(to.Path()).c_str(), StopAtOnce, &called, nullptr, 0);
        return called;
    }();
    return reports;
}

TWin32Result CopyThroughSystem(const std::string& sourcePath, TNewFile& temporary, TLevelProgress* progress) {
    // The system writes the file itself, under the name made for it.
    temporary.Handle.Reset();
    const BOOL copied = ::CopyFileExW(SystemPath(sourcePath).c_str(), SystemPath(temporary.Path).c_str(), progress ? CopyProgress : nullptr,
                                      progress, nullptr, 0);
    const DWORD error = copied ? ERROR_SUCCESS : LastErrorOr(ERROR_WRITE_FAULT);
    // The copy gets the source's attributes, read-only too; until it replaces the destination it
    // must stay ours to flush and delete.
    ::SetFileAttributesW(SystemPath(temporary.Path).c_str(), FILE_ATTRIBUTE_NORMAL);
    // The system does not say which side failed; these only reading gives.
    return {error, error == ERROR_READ_FAULT || error == ERROR_CRC};
}

// In place of a system copy that cannot report: chunks read at their offsets, since the caller may
// have read from the handle before.
TWin32Result CopyOurselves(HANDLE source, HANDLE target, TLevelProgress* progress) {
    LARGE_INTEGER total;
    if (!::GetFileSizeEx(source, &total))
        return {LastErrorOr(ERROR_READ_FAULT), true};
    const std::unique_ptr<char[]> buffer(new char[kCopyChunk]);
    for (LARGE_INTEGER done{}; done.QuadPart < total.QuadPart;) {
        OVERLAPPED at{};
        at.Offset = done.LowPart;
        at.OffsetHigh = static_cast<DWORD>(done.HighPart);
        const auto count = static_cast<DWORD>(std::min<LONGLONG>(total.QuadPart - done.QuadPart, kCopyChunk));
        DWORD read = 0;
        if (!::ReadFile(source, buffer.get(), count, &read, &at))
            return {LastErrorOr(ERROR_READ_FAULT), true};
        if (read == 0)
            return {ERROR_HANDLE_EOF, true};
        if (const DWORD error = WriteAll(target, buffer.get(), read))
            return {error};
        done.QuadPart += read;
        if (progress && CopyProgress(total, done, total, done, 1, CALLBACK_CHUNK_FINISHED, source, target, progress) ==
                            PROGRESS_CANCEL)
            return {ERROR_REQUEST_ABORTED};
    }
    // The copy keeps the source's time, as the system's does.
    FILETIME written;
    if (::GetFileTime(source, nullptr, nullptr, &written))
        ::SetFileTime(target, nullptr, nullptr, &written);
    return {};
}

}  // namespace

TWin32Result WriteBlockToFile(const std::string& destPath, const void* data, uint32_t size) {
    if (!data)
        return {ERROR_INVALID_PARAMETER};
    return WriteThroughTemporary(destPath,
                                 [&](TNewFile& file) { return TWin32Result{WriteAll(file.Handle.Get(), data, size)}; });
}

TWin32Result CopyToFile(const std::string& destPath, const std::string& sourcePath, HANDLE source,
                        TLevelProgress* progress) {
    return WriteThroughTemporary(destPath, [&](TNewFile& temporary) {
        return SystemCopyReports() ? CopyThroughSystem(sourcePath, temporary, progress)
                                   : CopyOurselves(source, temporary.Handle.Get(), progress);
    });
}

TWin32Result MoveToFile(const std::string& destPath, const std::string& finished) {
    if (const DWORD error = FlushToDisk(finished))
        return {error};
    const DWORD kept = ::GetFileAttributesW(SystemPath(destPath).c_str());
    const bool replacing = kept != INVALID_FILE_ATTRIBUTES && !(kept & FILE_ATTRIBUTE_DIRECTORY);
    // A read-only file cannot be replaced; it is read-only again afterwards.
    if (replacing && (kept & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(SystemPath(destPath).c_str(), kept & ~FILE_ATTRIBUTE_READONLY);
    // ReplaceFile keeps the old file's security, streams and identity; where the volume cannot,
    // a rename does, written through so that it reaches the disk after the data, never before.
    const bool moved =
        (replacing && CanMoveAside(destPath) &&
         ::ReplaceFileW(SystemPath(destPath).c_str(), SystemPath(finished).c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) ||
        ::MoveFileExW(SystemPath(finished).c_str(), SystemPath(destPath).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    const DWORD error = moved ? ERROR_SUCCESS : LastErrorOr(ERROR_WRITE_FAULT);
    // The attributes as they were, on the new content or, after a failure, on the old file.
    if (replacing)
        ::SetFileAttributesW(SystemPath(destPath).c_str(), moved ? (kept & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_ARCHIVE : kept);
    return {error};
}
