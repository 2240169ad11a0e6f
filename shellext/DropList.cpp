#include "shellext/DropList.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "base/ComPtr.h"
#include "base/Owned.h"

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

// Wide list: the same in UTF-16, at any alignment, converted as DragQueryFileA would.
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

HRESULT FetchDropList(IDataObject* source, std::vector<std::string>& paths) {
    paths.clear();
    FORMATETC request = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    UniqueStgMedium medium;
    const HRESULT result = medium.Fetch(source, request);
    if (FAILED(result))
        return result;
    if (medium.Get().tymed != TYMED_HGLOBAL)
        return E_FAIL;
    const GlobalLockGuard lock(medium.Get().hGlobal);
    const auto* block = static_cast<const char*>(lock.Data());
    DROPFILES header;
    if (!block || lock.Size() < sizeof header)
        return E_FAIL;
    std::memcpy(&header, block, sizeof header);
    if (header.pFiles < sizeof header || header.pFiles > lock.Size())
        return E_FAIL;
    if (header.fWide)
        ReadWideList(block + header.pFiles, block + lock.Size(), paths);
    else
        ReadAnsiList(block + header.pFiles, block + lock.Size(), paths);
    return S_OK;
}
