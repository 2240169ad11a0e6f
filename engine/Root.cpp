#include <cstring>

#include "base/PathText.h"
#include "engine/Archive.h"
#include "engine/JobPaths.h"
#include "engine/OpenForReading.h"

namespace {

// Copies text into a zero-terminated record field; false when it does not fit.
bool PutField(char* field, size_t fieldSize, const std::string& text) {
    if (text.size() >= fieldSize)
        return false;
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

// The size of the file at path, opened as the plug-ins will read it.
bool OpenedSize(const std::string& path, uint64_t& size) {
    UniqueHandle file(OpenForReading(path));
    LARGE_INTEGER bytes;
    if (!file || !::GetFileSizeEx(file.Get(), &bytes))
        return false;
    size = static_cast<uint64_t>(bytes.QuadPart);
    return true;
}

// The record of a file of that size at path; false, with the record empty, when its folder or name
// does not fit the record's 200-byte fields.
bool PutRecord(const std::string& path, uint64_t size, fileInfo& info) {
    std::memset(&info, 0, sizeof info);
    info.compsize = static_cast<uintptr_t>(size);
    info.filesize = static_cast<uintptr_t>(size);
    std::string folder = path;
    std::string name;
    SplitLastComponent(folder, name);
    if (!PutField(info.path, sizeof info.path, folder) || !PutField(info.filename, sizeof info.filename, name)) {
        std::memset(&info, 0, sizeof info);
        return false;
    }
    return true;
}

}  // namespace

bool TRoot::GetFileRecord(const std::string& path, fileInfo& info, uint64_t* fullSize) {
    std::memset(&info, 0, sizeof info);
    uint64_t size = 0;
    if (!OpenedSize(path, size) || !PutRecord(path, size, info))
        return false;
    if (fullSize)
        *fullSize = size;
    return true;
}

bool TRoot::Test(const std::string& prefix, fileInfo& info) {
    // Prefixes come longest first: the last one too long is the first that Windows' limit cuts off.
    if (!FitsWindowsPath(prefix)) {
        TooLong = prefix;
        return false;
    }
    uint64_t size = 0;
    if (OpenedSize(prefix, size)) {
        // The record cannot hold every path Windows takes: the path itself is kept here, whole.
        PutRecord(prefix, size, info);
        LocatedPath = prefix;
        LocatedSize = size;
        return true;
    }
    // Folders on the way fail too; only a file that is there but locked is worth telling.
    if (::GetLastError() == ERROR_SHARING_VIOLATION && ReadError == ERROR_SUCCESS)
        ReadError = ERROR_SHARING_VIOLATION;
    return false;
}

bool TRoot::Locate(const std::string& path, std::string& rest, fileInfo& info) {
    ReadError = ERROR_SUCCESS;
    TooLong.clear();
    if (TFolder::Locate(path, rest, info))
        return true;
    if (ReadError != ERROR_SUCCESS)
        return FailOnFile(TFailureKind::kCannotRead, ReadError, path);
    // Only a path that goes on from a folder that is there is known to be cut off by the limit;
    // otherwise it is simply not there.
    std::string folder = TooLong;
    std::string name;
    SplitLastComponent(folder, name);
    const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return FailOnFile(TFailureKind::kDiskPathTooLong, ERROR_FILENAME_EXCED_RANGE, TooLong);
    return Fail(TFailureKind::kNotFound);
}

std::unique_ptr<TArchive> TRoot::OpenMember(const fileInfo&) {
    return std::make_unique<TRealArchive>(LocatedPath, LocatedSize);
}
