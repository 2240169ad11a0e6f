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

namespace {

std::vector<char> DropListHeader(bool wide) {
    DROPFILES header = {};
    header.pFiles = sizeof header;
    header.fWide = wide;
    return std::vector<char>(reinterpret_cast<const char*>(&header), reinterpret_cast<const char*>(&header + 1));
}

}  // namespace

std::vector<char> DropListBytes(const std::vector<std::string>& paths, bool wide) {
    if (wide) {
        std::vector<std::wstring> widened;
        for (const std::string& path : paths)
            widened.push_back(WideFromAnsi(path));
        return DropListBytes(widened);
    }
    std::vector<char> bytes = DropListHeader(false);
    for (const std::string& path : paths)
        bytes.insert(bytes.end(), path.c_str(), path.c_str() + path.size() + 1);
    bytes.push_back('\0');
    return bytes;
}

std::vector<char> DropListBytes(const std::vector<std::wstring>& paths) {
    std::vector<char> bytes = DropListHeader(true);
    for (const std::wstring& path : paths) {
        const auto* units = reinterpret_cast<const char*>(path.c_str());
        bytes.insert(bytes.end(), units, units + (path.size() + 1) * sizeof(wchar_t));
    }
    bytes.insert(bytes.end(), 2, '\0');
    return bytes;
}
