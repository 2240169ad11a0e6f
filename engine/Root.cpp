#include <cstring>

#include "base/PathText.h"
#include "base/SystemPath.h"
#include "engine/Archive.h"
#include "engine/JobPaths.h"
#include "engine/OpenForReading.h"

namespace {

// The size of the file at path, opened as the plug-ins will read it.
bool OpenedSize(const std::string& path, uint64_t& size) {
    UniqueHandle file(OpenForReading(path));
    LARGE_INTEGER bytes;
    if (!file || !::GetFileSizeEx(file.Get(), &bytes))
        return false;
    size = static_cast<uint64_t>(bytes.QuadPart);
    return true;
}

// The record of a file of that size at path.
void PutRecord(const std::string& path, uint64_t size, TMember& member) {
    member = TMember{};
    member.Record.compsize = static_cast<uintptr_t>(size);
    member.Record.filesize = static_cast<uintptr_t>(size);
    member.Folder = path;
    SplitLastComponent(member.Folder, member.FileName);
}

}  // namespace

bool TRoot::GetFileRecord(const std::string& path, TMember& member, uint64_t* fullSize) {
    member = TMember{};
    uint64_t size = 0;
    if (!OpenedSize(path, size))
        return false;
    PutRecord(path, size, member);
    if (fullSize)
        *fullSize = size;
    return true;
}

bool TRoot::Test(const std::string& prefix, TMember& member) {
    // Prefixes come longest first: the last one too long is the first that Windows' limit cuts off.
    if (!FitsWindowsPath(prefix)) {
        TooLong = prefix;
        return false;
    }
    uint64_t size = 0;
    if (OpenedSize(prefix, size)) {
        PutRecord(prefix, size, member);
        LocatedPath = prefix;
        LocatedSize = size;
        return true;
    }
    // Folders on the way fail too; only a file that is there but locked is worth telling.
    if (::GetLastError() == ERROR_SHARING_VIOLATION && ReadError == ERROR_SUCCESS)
        ReadError = ERROR_SHARING_VIOLATION;
    return false;
}

bool TRoot::Locate(const std::string& path, std::string& rest, TMember& member) {
    ReadError = ERROR_SUCCESS;
    TooLong.clear();
    if (TFolder::Locate(path, rest, member))
        return true;
    if (ReadError != ERROR_SUCCESS)
        return FailOnFile(TFailureKind::kCannotRead, ReadError, path);
    // Only a path that goes on from a folder that is there is known to be cut off by the limit;
    // otherwise it is simply not there.
    std::string folder = TooLong;
    std::string name;
    SplitLastComponent(folder, name);
    const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(SystemPath(folder).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return FailOnFile(TFailureKind::kDiskPathTooLong, ERROR_FILENAME_EXCED_RANGE, TooLong);
    return Fail(TFailureKind::kNotFound);
}

std::unique_ptr<TArchive> TRoot::OpenMember(const TMember&) {
    return std::make_unique<TRealArchive>(LocatedPath, LocatedSize);
}
