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

bool TRoot::GetFileRecord(const std::string& path, fileInfo& info) {
    std::memset(&info, 0, sizeof info);
    UniqueHandle file(OpenForReading(path));
    if (!file)
        return false;
    const DWORD size = ::GetFileSize(file.Get(), nullptr);
    info.compsize = size;
    info.filesize = size;

    std::string folder = path;
    std::string name;
    SplitLastComponent(folder, name);
    // The record's fields hold 200 bytes; a longer folder or name is not a file this level knows.
    if (!PutField(info.path, sizeof info.path, folder) || !PutField(info.filename, sizeof info.filename, name)) {
        std::memset(&info, 0, sizeof info);
        return false;
    }
    return true;
}

std::unique_ptr<TArchive> TRoot::OpenMember(const fileInfo& info) {
    const std::string_view folder = FieldText(info.path, sizeof info.path);
    const std::string_view name = FieldText(info.filename, sizeof info.filename);
    // A bare relative name must stay relative: "\name" would be another file, on the drive's root.
    std::string realPath(folder);
    if (!folder.empty())
        realPath += '\\';
    realPath += name;
    return std::make_unique<TRealArchive>(std::move(realPath), info.filesize);
}
