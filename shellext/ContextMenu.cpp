#include "shellext/ContextMenu.h"

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Owned.h"
#include "base/WideText.h"
#include "handoff/WarmUp.h"
#include "shellext/ComBoundary.h"
#include "shellext/DropList.h"
#include "shellext/HandOffQueue.h"
#include "shellext/Server.h"

namespace {

constexpr char kMenuText[] = "ここに解凍(&E)";
constexpr char kHelpText[] = "Susie Plug-in を用いて解凍";
// The texts above are compiled to this code page, whatever the system's.
constexpr UINT kTextCodePage = 932;

bool IsOwnInterface(REFIID iid) {
    return IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IShellExtInit) || IsEqualIID(iid, IID_IContextMenu) ||
           IsEqualIID(iid, IID_ISupportErrorInfo);
}

// Our texts in their wide form: whole on a system of any code page.
std::wstring WideText(const char* text) {
    wchar_t wide[64] = {};
    const int units = ::MultiByteToWideChar(kTextCodePage, 0, text, -1, wide, static_cast<int>(std::size(wide)));
    return std::wstring(wide, units > 0 ? units - 1 : 0);
}

// The text cut to count - 1 characters (a byte-wise cut may split a double-byte character), then
// zeros to the buffer's end; nothing for no buffer.
template <typename TChar>
void FillCut(TChar* buffer, UINT count, std::basic_string_view<TChar> text) {
    if (count == 0)
        return;
    std::fill_n(buffer, count, TChar{});
    text.copy(buffer, count - 1);
}

bool ExistsOnDisk(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    return static_cast<bool>(UniqueFind(::FindFirstFileW(path.c_str(), &found)));
}

// The folder's path, whole: its name may lie outside the ANSI code page, and past MAX_PATH.
std::optional<std::wstring> FolderPath(PCIDLIST_ABSOLUTE folder) {
    constexpr DWORD kLongestPath = 32768;
    std::wstring path(kLongestPath, L'\0');
    if (!::SHGetPathFromIDListEx(folder, path.data(), kLongestPath, GPFIDL_DEFAULT))
        return std::nullopt;
    path.resize(std::wcslen(path.c_str()));
    return path;
}

}  // namespace

TContextMenu::TContextMenu() {
    ObjectCreated();
}

TContextMenu::~TContextMenu() {
    ObjectDestroyed();
}

HRESULT TContextMenu::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IContextMenu))
        *object = static_cast<IContextMenu*>(this);
    else if (IsEqualIID(iid, IID_IShellExtInit))
        *object = static_cast<IShellExtInit*>(this);
    else if (IsEqualIID(iid, IID_ISupportErrorInfo))
        *object = static_cast<ISupportErrorInfo*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG TContextMenu::AddRef() {
    return ++references_;
}

ULONG TContextMenu::Release() {
    const ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT TContextMenu::Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY) {
    return ComBoundary([&] {
        if (!folder || !data)
            return E_FAIL;
        std::vector<std::wstring> paths;
        if (FAILED(FetchDropList(data, paths)))
            return E_FAIL;
        // Paths into archives do not exist on disk; a single real file means the drop is not ours.
        if (std::any_of(paths.begin(), paths.end(), ExistsOnDisk))
            return E_FAIL;
        std::optional<std::wstring> target = FolderPath(folder);
        if (!target)
            return E_FAIL;
        // The shell may initialise an object more than once; the last drop wins.
        destinationFolder_ = std::move(*target);
        dataObject_ = ComPtr<IDataObject>::Share(data);
        return S_OK;
    });
}

HRESULT TContextMenu::QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT, UINT) {
    ::InsertMenuW(menu, indexMenu, MF_BYPOSITION, idCmdFirst, WideText(kMenuText).c_str());
    // The person now takes a moment to choose: time enough for the plug-in hosts to start.
    AskToWarmUp();
    return 1;
}

HRESULT TContextMenu::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    return ComBoundary([&] {
        if (!info)
            return E_INVALIDARG;
        const auto verb = reinterpret_cast<UINT_PTR>(info->lpVerb);
        if (verb >> 16 != 0)
            return E_FAIL;
        if ((verb & 0xFFFF) != 0)
            return E_INVALIDARG;
        if (!dataObject_)
            return E_FAIL;
        std::vector<std::wstring> paths;
        const HRESULT fetched = FetchDropList(dataObject_.Get(), paths);
        if (FAILED(fetched))
            return fetched;
        QueueHandOff(destinationFolder_, std::move(paths));
        return S_OK;
    });
}

HRESULT TContextMenu::GetCommandString(UINT_PTR idCmd, UINT type, UINT*, CHAR* name, UINT cchMax) {
    if (idCmd != 0 || (!name && cchMax != 0))
        return E_INVALIDARG;
    // The wide forms count wide characters.
    auto* wide = reinterpret_cast<wchar_t*>(name);
    switch (type) {
        case GCS_HELPTEXTA:
            FillCut(name, cchMax, std::string_view(ShownAnsi(WideText(kHelpText))));
            return S_OK;
        case GCS_HELPTEXTW:
            FillCut(wide, cchMax, std::wstring_view(WideText(kHelpText)));
            return S_OK;
        // The entry is invoked by its place in the menu, never by a name: it has no verb. A caller
        // that reads the buffer all the same finds it empty.
        case GCS_VERBA:
            FillCut(name, cchMax, std::string_view());
            return E_NOTIMPL;
        case GCS_VERBW:
            FillCut(wide, cchMax, std::wstring_view());
            return E_NOTIMPL;
        case GCS_VALIDATEA:
        case GCS_VALIDATEW:
            return S_OK;
        default:
            return E_NOTIMPL;
    }
}

HRESULT TContextMenu::InterfaceSupportsErrorInfo(REFIID iid) {
    return IsOwnInterface(iid) ? S_OK : S_FALSE;
}
