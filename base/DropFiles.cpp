#include "base/DropFiles.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

namespace {

// ANSI list: texts back to back, each with its zero, ended by an empty one.
void ReadAnsiList(const char* at, const char* end, std::vector<std::string>& paths) {
    while (at < end) {
        const void* zero = std::memchr(at, 0, static_cast<size_t>(end - at));
        if (!zero || zero == at)
            return;
        paths.emplace_back(at, static_cast<const char*>(zero));
        at = static_cast<const char*>(zero) + 1;
    }
}

std::string ToAnsi(const std::wstring& wide) {
    if (wide.empty())
        return {};
    const int size =
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr,
                              nullptr);
    return text;
}

// Wide list: the same in UTF-16, at any alignment.
void ReadWideList(const char* at, const char* end, std::vector<std::string>& paths) {
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
        paths.push_back(ToAnsi(path));
        path.clear();
    }
}

}  // namespace

bool ReadDropFiles(const void* block, size_t size, std::vector<std::string>& paths) {
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
