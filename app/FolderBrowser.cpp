#include "app/FolderBrowser.h"

#include <shlobj.h>

#include "app/AppState.h"
#include "app/Destination.h"

namespace {

// The shell allocates item-ID lists; its own allocator frees them.
struct ItemIdListTraits {
    using Type = LPITEMIDLIST;
    static constexpr Type Empty() noexcept { return nullptr; }
    static bool IsValid(Type value) noexcept { return value != nullptr; }
    static void Close(Type value) noexcept { ::CoTaskMemFree(value); }
};
using UniqueItemIdList = Unique<ItemIdListTraits>;

std::string FileSystemPath(LPCITEMIDLIST item) {
    char path[MAX_PATH] = {};
    return item && ::SHGetPathFromIDListA(item, path) ? path : "";
}

}  // namespace

void BrowseDestination(HWND window) {
    char displayName[MAX_PATH] = {};
    const std::string current = App().DestinationFolder;
    BROWSEINFOA browse = {};
    browse.hwndOwner = window;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = "解凍先フォルダの選択";
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    browse.lpfn = BrowseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(current.c_str());
    UniqueItemIdList chosen(::SHBrowseForFolderA(&browse));
    if (!chosen)
        return;
    const std::string folder = FileSystemPath(chosen.Get());
    if (!folder.empty())
        SetDestinationFolder(window, folder);
}

int CALLBACK BrowseCallback(HWND dialog, UINT msg, LPARAM lParam, LPARAM data) {
    switch (msg) {
        case BFFM_INITIALIZED:
            ::SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, data);
            break;
        case BFFM_SELCHANGED: {
            const std::string path = FileSystemPath(reinterpret_cast<LPCITEMIDLIST>(lParam));
            ::SendMessageA(dialog, BFFM_SETSTATUSTEXTA, 0,
                           path.empty() ? 0 : reinterpret_cast<LPARAM>(path.c_str()));
            break;
        }
        default:
            break;
    }
    return 0;
}
