#include <cstring>

#include "base/AnsiPath.h"
#include "engine/Archive.h"
#include "engine/OpenForReading.h"

namespace {

// Copies text into a zero-terminated record field; false when it does not fit.
bool PutField(char* field, size_t fieldSize, const std::string& text) {
    if (text.size() >= fieldSize)
        return false;
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

}  // namespace

bool TRoot::GetFileRecord(const std::string& path, fileInfo& info, uint64_t* fullSize) {
    std::memset(&info, 0, sizeof info);
    UniqueHandle file(OpenForReading(path));
    LARGE_INTEGER size;
    if (!file || !::GetFileSizeEx(file.Get(), &size))
        return false;
    info.compsize = static_cast<uint32_t>(size.QuadPart);
    info.filesize = static_cast<uint32_t>(size.QuadPart);

    std::string folder = path;
    std::string name;
    SplitLastComponent(folder, name);
    // The record's fields hold 200 bytes; a longer folder or name is not a file this level knows.
    if (!PutField(info.path, sizeof info.path, folder) || !PutField(info.filename, sizeof info.filename, name)) {
        std::memset(&info, 0, sizeof info);
        return false;
    }
    if (fullSize)
        *fullSize = static_cast<uint64_t>(size.QuadPart);
    return true;
}

bool TRoot::Test(const std::string& prefix, fileInfo& info) {
    if (GetFileRecord(prefix, info, &LocatedSize))
        return true;
    // Folders on the way fail too; only a file that is there but locked is worth telling.
    if (::GetLastError() == ERROR_SHARING_VIOLATION && ReadError == ERROR_SUCCESS)
        ReadError = ERROR_SHARING_VIOLATION;
    return false;
}

bool TRoot::Locate(const std::string& path, std::string& rest, fileInfo& info) {
    ReadError = ERROR_SUCCESS;
    if (TFolder::Locate(path, rest, info))
        return true;
    if (ReadError != ERROR_SUCCESS)
        return FailOnFile(TFailureKind::kCannotRead, ReadError, path);
    return Fail(TFailureKind::kNotFound);
}

std::unique_ptr<TArchive> TRoot::OpenMember(const fileInfo& info) {
    const std::string_view folder = FieldText(info.path, sizeof info.path);
    const std::string_view name = FieldText(info.filename, sizeof info.filename);
    // A bare relative name must stay relative: "\name" would be another file, on the drive's root.
    std::string realPath(folder);
    if (!folder.empty())
        realPath += '\\';
    realPath += name;
    return std::make_unique<TRealArchive>(std::move(realPath), LocatedSize);
}
