#include "base/AnsiPath.h"
#include "engine/Archive.h"

namespace {

// A fresh temporary name in the destination's own folder, so the final rename stays on one volume.
std::string TemporaryBeside(const std::string& destPath) {
    std::string folder = destPath;
    std::string name;
    SplitLastComponent(folder, name);
    // "D:" alone would mean the drive's current folder, not its root.
    const bool bareDrive = folder.size() == 2 && folder[1] == ':';
    const std::string where = folder.empty() ? std::string(".") : bareDrive ? folder + "\\" : folder;
    char temporary[MAX_PATH] = {};
    if (!::GetTempFileNameA(where.c_str(), "kv", 0, temporary))
        return {};
    return temporary;
}

bool WriteWhole(const std::string& path, const void* data, uint32_t size) {
    UniqueHandle file(
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return ::WriteFile(file.Get(), data, size, &written, nullptr) && written == size;
}

}  // namespace

bool WriteBlockToFile(const std::string& destPath, const void* data, uint32_t size) {
    if (!data)
        return false;
    const std::string temporary = TemporaryBeside(destPath);
    if (temporary.empty())
        return false;
    if (WriteWhole(temporary, data, size) &&
        ::MoveFileExA(temporary.c_str(), destPath.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    ::DeleteFileA(temporary.c_str());
    return false;
}
