#include "app/FolderBrowser.h"

#include <shlobj.h>

#include "app/AppState.h"
#include "app/Destination.h"
#include "base/WideText.h"

namespace {

// The shell allocates item-ID lists; its own allocator frees them.
struct ItemIdListTraits {
    using Type = LPITEMIDLIST;
    static constexpr Type Empty() noexcept { return nullptr; }
    static bool IsValid(Type value) noexcept { return value != nullptr; }
    static void Close(Type value) noexcept { ::CoTaskMemFree(value); }
};
using UniqueItemIdList = Unique<ItemIdListTraits>;

std::wstring FileSystemPath(LPCITEMIDLIST item) {
    wchar_t path[MAX_PATH] = {};
    return item && ::SHGetPathFromIDListW(item, path) ? path : L"";
}

}  // namespace

void BrowseDestination(HWND window) {
    wchar_t displayName[MAX_PATH] = {};
    const std::wstring current = WideFromUtf8(App().DestinationFolder);
    const std::wstring title = WideFromUtf8(Utf8Text("解凍先フォルダの選択"));
    BROWSEINFOW browse = {};
    browse.hwndOwner = window;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    browse.lpfn = BrowseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(current.c_str());
    UniqueItemIdList chosen(::SHBrowseForFolderW(&browse));
    if (!chosen)
        return;
    // A folder whose name holds a surrogate without its pair cannot be a destination.
    std::string folder;
    if (ExactUtf8(FileSystemPath(chosen.Get()), folder) && !folder.empty())
        SetDestinationFolder(window, folder);
}

int CALLBACK BrowseCallback(HWND dialog, UINT msg, LPARAM lParam, LPARAM data) {
    switch (msg) {
        case BFFM_INITIALIZED:
            ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
            break;
        case BFFM_SELCHANGED: {
            const std::wstring path = FileSystemPath(reinterpret_cast<LPCITEMIDLIST>(lParam));
            ::SendMessageW(dialog, BFFM_SETSTATUSTEXTW, 0,
                           path.empty() ? 0 : reinterpret_cast<LPARAM>(path.c_str()));
            break;
        }
        default:
            break;
    }
    return 0;
}
