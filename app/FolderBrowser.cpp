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

std::optional<std::string> BrowseForFolder(HWND owner, const char* title, const std::string& current) {
    wchar_t displayName[MAX_PATH] = {};
    const std::wstring start = WideFromUtf8(current);
    const std::wstring shownTitle = WideFromUtf8(Utf8Text(title));
    BROWSEINFOW browse = {};
    browse.hwndOwner = owner;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = shownTitle.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    browse.lpfn = BrowseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(start.c_str());
    UniqueItemIdList chosen(::SHBrowseForFolderW(&browse));
    // A folder whose name holds a surrogate without its pair names nothing.
    std::string folder;
    if (!chosen || !ExactUtf8(FileSystemPath(chosen.Get()), folder) || folder.empty())
        return std::nullopt;
    return folder;
}

void BrowseDestination(HWND window) {
    if (const std::optional<std::string> folder = BrowseForFolder(window, "解凍先フォルダの選択", App().DestinationFolder))
        SetDestinationFolder(window, *folder);
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
