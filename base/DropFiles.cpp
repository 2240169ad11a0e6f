#include "base/DropFiles.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string_view>
#include <utility>

#include "base/WideText.h"

namespace {

// ANSI list: texts back to back, each with its zero, ended by an empty one.
void ReadAnsiList(const char* at, const char* end, std::vector<std::wstring>& paths) {
    while (at < end) {
        const void* zero = std::memchr(at, 0, static_cast<size_t>(end - at));
        if (!zero || zero == at)
            return;
        paths.push_back(WideFromAnsi(std::string_view(at, static_cast<size_t>(static_cast<const char*>(zero) - at))));
        at = static_cast<const char*>(zero) + 1;
    }
}

// Wide list: the same in UTF-16, at any alignment.
void ReadWideList(const char* at, const char* end, std::vector<std::wstring>& paths) {
    std::wstring path;
    while (end - at >= 2) {
        wchar_t unit;
        std::memcpy(&unit, at, sizeof unit);
        at += sizeof unit;
        if (unit != 0) {
            path.push_back(unit);
            continue;
        }
        if (path.empty())
            return;
        paths.push_back(std::move(path));
        path.clear();
    }
}

}  // namespace

bool ReadDropFiles(const void* block, size_t size, std::vector<std::wstring>& paths) {
    paths.clear();
    const auto* bytes = static_cast<const char*>(block);
    DROPFILES header;
    if (!bytes || size < sizeof header)
        return false;
    std::memcpy(&header, bytes, sizeof header);
    if (header.pFiles < sizeof header || header.pFiles > size)
        return false;
    if (header.fWide)
        ReadWideList(bytes + header.pFiles, bytes + size, paths);
    else
        ReadAnsiList(bytes + header.pFiles, bytes + size, paths);
    return true;
}
