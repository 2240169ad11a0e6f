#include "app/BrowserWindow.h"

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <iterator>
#include <memory>
#include <optional>
#include <vector>

#include "app/AppState.h"
#include "app/BrowserLister.h"
#include "app/Dpi.h"
#include "app/FolderBrowser.h"
#include "app/Identifiers.h"
#include "app/Intake.h"
#include "app/JobList.h"
#include "base/PathText.h"
#include "engine/DestinationName.h"
#include "engine/JobPaths.h"
#include "base/TimeText.h"
#include "base/WideText.h"

namespace {

// What a listing on its way is for.
enum class TIntent {
    kShow,        // a place to show
    kEnterOrTake  // a member: shown when a plug-in reads it as an archive, else queued as a job
};

struct TBrowser {
    HWND Window = nullptr;
    HWND Toolbar = nullptr;
    HWND Address = nullptr;
    HWND List = nullptr;
    HWND Status = nullptr;
    HACCEL Keys = nullptr;
    UniqueFont Font;
    std::unique_ptr<TBrowserLister> Lister;
    std::unique_ptr<TBrowserListed> Shown;  // the place shown, with its rows
    std::vector<std::string> Back;          // places shown before, for Alt+Left
    uint64_t Pending = 0;                   // the listing awaited; 0 for none
    TIntent Intent = TIntent::kShow;
    bool Remember = true;  // the place left goes onto Back
    std::wstring Cell;     // the text a list cell was last given, alive until the next
};

TBrowser& Browser() {
    static TBrowser browser;
    return browser;
}

constexpr UINT WM_BROWSERLISTED = WM_APP + 3;

using THandler = void (*)(HWND window, TMessage& message);
struct TDispatch {
    UINT Msg;
    THandler Handler;
};

constexpr struct {
    const char* Title;
    int Width;  // at 96 DPI
    int Format;
} kColumns[] = {
    {"名前", 260, LVCFMT_LEFT},
    {"サイズ", 90, LVCFMT_RIGHT},
    {"更新日時", 140, LVCFMT_LEFT},
    {"種類", 110, LVCFMT_LEFT},
};

std::wstring WideText(const char* cp932) {
    return WideFromUtf8(Utf8Text(cp932));
}

// A member's or a place's path below the place shown.
std::string PathOf(const std::string& place, std::string_view name) {
    return FolderWithSeparator(place) + std::string(name);
}

void SetStatus(const std::string& utf8) {
    ::SetWindowTextW(Browser().Status, WideFromUtf8(utf8).c_str());
}

void ListPlace(const std::string& path, TIntent intent, bool remember) {
    TBrowser& browser = Browser();
    browser.Intent = intent;
    browser.Remember = remember;
    browser.Pending = browser.Lister->List(path);
    SetStatus(Utf8Text("一覧を作っています... (Esc で中止)"));
}

std::string SizeText(uint64_t size) {
    std::string digits = std::to_string(size);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<size_t>(at), ",");
    return digits;
}

std::string CellText(const TBrowserLevel& level, size_t row, int column) {
    switch (column) {
        case 0:
            return std::string(level.Name(row));
        case 1:
            return level.IsFolder(row) ? std::string() : SizeText(level.Size(row));
        case 2:
            return level.IsFolder(row) ? std::string() : LocalTimeText(level.Time(row));
        default:
            return RowType(level.Name(row), level.IsFolder(row));
    }
}

// The rows selected; folders are left out, as they hold no one file.
std::vector<TDraggedMember> SelectedRows() {
    TBrowser& browser = Browser();
    std::vector<TDraggedMember> members;
    if (!browser.Shown)
        return members;
    const TBrowserLevel& level = browser.Shown->Level;
    for (int row = ListView_GetNextItem(browser.List, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(browser.List, row, LVNI_SELECTED)) {
        const auto at = static_cast<size_t>(row);
        if (!level.IsFolder(at))
            members.push_back({PathOf(browser.Shown->Path, level.Name(at)), std::string(level.Name(at)), level.Size(at),
                               level.Time(at)});
    }
    return members;
}

std::vector<std::string> SelectedMembers() {
    std::vector<std::string> paths;
    for (const TDraggedMember& member : SelectedRows())
        paths.push_back(member.Path);
    return paths;
}

void Show(std::unique_ptr<TBrowserListed> listed) {
    TBrowser& browser = Browser();
    if (browser.Shown && browser.Remember && browser.Shown->Path != listed->Path)
        browser.Back.push_back(browser.Shown->Path);
    browser.Shown = std::move(listed);
    const TBrowserListed& shown = *browser.Shown;
    const std::wstring path = WideFromUtf8(shown.Path);
    ::SetWindowTextW(browser.Address, path.c_str());
    ::SetWindowTextW(browser.Window, (path + L" - Kelvane").c_str());
    ListView_SetItemCountEx(browser.List, static_cast<int>(shown.Level.RowCount()), 0);
    ListView_SetItemState(browser.List, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (shown.Level.RowCount() > 0)
        ListView_SetItemState(browser.List, 0, LVIS_FOCUSED, LVIS_FOCUSED);
    ListView_EnsureVisible(browser.List, 0, FALSE);
    ::InvalidateRect(browser.List, nullptr, TRUE);
    SetStatus(std::to_string(shown.Level.MemberCount()) + Utf8Text(" 個の項目 (プラグイン ") + shown.Level.Plugin() + ")");
}

void Queue(const std::vector<std::string>& paths, const std::string& folder) {
    if (!paths.empty())
        QueueMembers(App().MainWindow, paths, folder);
}

void OnListed(HWND, TMessage& message) {
    std::unique_ptr<TBrowserListed> listed(reinterpret_cast<TBrowserListed*>(message.LParam));
    TBrowser& browser = Browser();
    if (!listed || listed->Serial != browser.Pending)
        return;
    browser.Pending = 0;
    if (listed->Outcome.Succeeded()) {
        Show(std::move(listed));
        return;
    }
    // A member that no plug-in reads as an archive is a file: it is taken out.
    if (browser.Intent == TIntent::kEnterOrTake && listed->Outcome.Failure.Kind == TFailureKind::kNoPlugin) {
        Queue({listed->Path}, App().DestinationFolder);
        SetStatus(Utf8Text("解凍の列に加えました: ") + listed->Path);
        return;
    }
    SetStatus(listed->Outcome.Describe());
}

void Activate(int row) {
    TBrowser& browser = Browser();
    if (!browser.Shown || row < 0 || static_cast<size_t>(row) >= browser.Shown->Level.RowCount())
        return;
    const TBrowserLevel& level = browser.Shown->Level;
    const std::string path = PathOf(browser.Shown->Path, level.Name(static_cast<size_t>(row)));
    ListPlace(path, level.IsFolder(static_cast<size_t>(row)) ? TIntent::kShow : TIntent::kEnterOrTake, true);
}

void GoUp() {
    TBrowser& browser = Browser();
    if (!browser.Shown)
        return;
    std::string parent = browser.Shown->Path;
    std::string last;
    SplitLastComponent(parent, last);
    // Above the archive file itself lies a folder on disk, which Explorer shows.
    const DWORD onDisk = ::GetFileAttributesW(WideFromUtf8(parent).c_str());
    if (!parent.empty() && (onDisk == INVALID_FILE_ATTRIBUTES || !(onDisk & FILE_ATTRIBUTE_DIRECTORY)))
        ListPlace(parent, TIntent::kShow, true);
}

void GoBack() {
    TBrowser& browser = Browser();
    if (browser.Back.empty())
        return;
    const std::string place = browser.Back.back();
    browser.Back.pop_back();
    ListPlace(place, TIntent::kShow, false);
}

void OpenTyped() {
    TBrowser& browser = Browser();
    const int length = ::GetWindowTextLengthW(browser.Address);
    std::wstring typed(static_cast<size_t>(length) + 1, L'\0');
    typed.resize(static_cast<size_t>(::GetWindowTextW(browser.Address, typed.data(), length + 1)));
    std::string path;
    if (ExactUtf8(typed, path) && !path.empty())
        ListPlace(path, TIntent::kShow, true);
}

void ExtractTo(HWND window) {
    const std::vector<std::string> paths = SelectedMembers();
    if (paths.empty())
        return;
    if (const std::optional<std::string> folder =
            BrowseForFolder(window, "解凍先を指定してください", App().DestinationFolder))
        Queue(paths, *folder);
}

void OnCommand(HWND window, TMessage& message) {
    TBrowser& browser = Browser();
    switch (LOWORD(message.WParam)) {
        case IDM_OPENARCHIVE:
            OpenArchive(window);
            break;
        case IDM_BROWSE_UP:
            GoUp();
            break;
        case IDM_BROWSE_BACK:
            GoBack();
            break;
        case IDM_BROWSE_STOP:
            if (browser.Pending)
                browser.Lister->Cancel();
            break;
        case IDM_BROWSE_ENTER:
            // Enter in the address bar opens what was typed; in the list, what is focused.
            if (::GetFocus() == browser.Address)
                OpenTyped();
            else
                Activate(ListView_GetNextItem(browser.List, -1, LVNI_FOCUSED));
            break;
        case IDM_BROWSE_EXTRACT:
            Queue(SelectedMembers(), App().DestinationFolder);
            break;
        case IDM_BROWSE_EXTRACTTO:
            ExtractTo(window);
            break;
        case IDM_BROWSE_SELECTALL:
            // In the address bar, its own text.
            if (::GetFocus() == browser.Address)
                ::SendMessageW(browser.Address, EM_SETSEL, 0, -1);
            else
                ListView_SetItemState(browser.List, -1, LVIS_SELECTED, LVIS_SELECTED);
            break;
        case IDM_BROWSE_CLOSE:
            ::ShowWindow(window, SW_HIDE);
            break;
        default:
            message.Result = ::DefWindowProcW(window, message.Msg, message.WParam, message.LParam);
    }
}

// Dropped on the main window, members become jobs there, whichever button dragged them.
bool TakenByMainWindow(POINT cursor, const std::vector<std::string>& paths) {
    HWND under = ::WindowFromPoint(cursor);
    if (!under || (under != App().MainWindow && ::GetAncestor(under, GA_ROOT) != App().MainWindow))
        return false;
    Queue(paths, App().DestinationFolder);
    return true;
}

void BeginDrag(bool right) {
    std::vector<TDraggedMember> members = SelectedRows();
    if (!members.empty())
        DragMembers(std::move(members), right, *Browser().Lister, TakenByMainWindow);
}

void OnGetDispInfo(NMLVDISPINFOW& info) {
    TBrowser& browser = Browser();
    if (!(info.item.mask & LVIF_TEXT) || !browser.Shown || info.item.iItem < 0 ||
        static_cast<size_t>(info.item.iItem) >= browser.Shown->Level.RowCount())
        return;
    browser.Cell = WideFromUtf8(CellText(browser.Shown->Level, static_cast<size_t>(info.item.iItem), info.item.iSubItem));
    info.item.pszText = browser.Cell.data();
}

void OnNotify(HWND, TMessage& message) {
    TBrowser& browser = Browser();
    auto* header = reinterpret_cast<NMHDR*>(message.LParam);
    if (header->hwndFrom != browser.List)
        return;
    switch (header->code) {
        case LVN_GETDISPINFOW:
            OnGetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(header));
            break;
        case LVN_ITEMACTIVATE:
            Activate(reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
            break;
        case LVN_COLUMNCLICK:
            if (browser.Shown) {
                browser.Shown->Level.SortBy(static_cast<TBrowserColumn>(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem));
                ::InvalidateRect(browser.List, nullptr, TRUE);
            }
            break;
        case LVN_BEGINDRAG:
        case LVN_BEGINRDRAG:
            BeginDrag(header->code == LVN_BEGINRDRAG);
            break;
        case LVN_KEYDOWN:
            if (reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey == VK_BACK)
                GoUp();
            break;
        default:
            break;
    }
}

// Toolbar, address bar, list and status line, top to bottom.
void Layout(HWND window) {
    TBrowser& browser = Browser();
    RECT client = {};
    ::GetClientRect(window, &client);
    ::SendMessageW(browser.Toolbar, TB_AUTOSIZE, 0, 0);
    ::SendMessageW(browser.Status, WM_SIZE, 0, 0);
    RECT bar = {};
    RECT status = {};
    ::GetWindowRect(browser.Toolbar, &bar);
    ::GetWindowRect(browser.Status, &status);
    const int dpi = WindowDpi(window);
    const int top = bar.bottom - bar.top;
    const int address = Scaled(24, dpi);
    const int bottom = client.bottom - (status.bottom - status.top);
    ::MoveWindow(browser.Address, Scaled(2, dpi), top + Scaled(1, dpi), client.right - Scaled(4, dpi),
                 address - Scaled(2, dpi), TRUE);
    ::MoveWindow(browser.List, 0, top + address, client.right, std::max(0, bottom - top - address), TRUE);
}

void AddToolbarButtons(HWND toolbar) {
    constexpr struct {
        UINT Command;
        const char* Text;
    } kButtons[] = {
        {IDM_BROWSE_BACK, "戻る"},
        {IDM_BROWSE_UP, "上へ"},
        {IDM_BROWSE_EXTRACT, "解凍"},
        {IDM_BROWSE_EXTRACTTO, "解凍先を指定して解凍..."},
    };
    std::vector<std::wstring> texts;
    for (const auto& button : kButtons)
        texts.push_back(WideText(button.Text));
    TBBUTTON buttons[std::size(kButtons)] = {};
    for (size_t i = 0; i < std::size(kButtons); ++i) {
        buttons[i].iBitmap = I_IMAGENONE;
        buttons[i].idCommand = static_cast<int>(kButtons[i].Command);
        buttons[i].fsState = TBSTATE_ENABLED;
        buttons[i].fsStyle = BTNS_AUTOSIZE | BTNS_SHOWTEXT;
        buttons[i].iString = reinterpret_cast<INT_PTR>(texts[i].c_str());
    }
    ::SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    ::SendMessageW(toolbar, TB_ADDBUTTONSW, std::size(buttons), reinterpret_cast<LPARAM>(buttons));
}

void SetFonts(HWND window) {
    TBrowser& browser = Browser();
    browser.Font.Reset(CreateListFont(WindowDpi(window)));
    for (HWND child : {browser.Address, browser.List})
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(browser.Font.Get()), TRUE);
    for (int column = 0; column < static_cast<int>(std::size(kColumns)); ++column)
        ListView_SetColumnWidth(browser.List, column, Scaled(kColumns[column].Width, WindowDpi(window)));
}

HWND Child(HWND window, const wchar_t* className, DWORD style, int id) {
    return ::CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window,
                             reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
}

void OnCreate(HWND window, TMessage&) {
    TBrowser& browser = Browser();
    browser.Window = window;
    browser.Toolbar = Child(window, TOOLBARCLASSNAMEW, TBSTYLE_FLAT | TBSTYLE_LIST | CCS_TOP, IDC_BROWSERTOOLBAR);
    ::SendMessageW(browser.Toolbar, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_MIXEDBUTTONS);
    AddToolbarButtons(browser.Toolbar);
    browser.Address = Child(window, WC_EDITW, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, IDC_ADDRESS);
    browser.List = Child(window, WC_LISTVIEWW, LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_TABSTOP | WS_BORDER,
                         IDC_BROWSERLIST);
    ListView_SetExtendedListViewStyle(browser.List, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    for (int column = 0; column < static_cast<int>(std::size(kColumns)); ++column) {
        std::wstring title = WideText(kColumns[column].Title);
        LVCOLUMNW info = {};
        info.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
        info.fmt = kColumns[column].Format;
        info.pszText = title.data();
        info.iSubItem = column;
        ::SendMessageW(browser.List, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
    }
    browser.Status = Child(window, STATUSCLASSNAMEW, SBARS_SIZEGRIP, IDC_BROWSERSTATUS);
    SetFonts(window);
    browser.Lister = std::make_unique<TBrowserLister>(window, WM_BROWSERLISTED);
    ::DragAcceptFiles(window, TRUE);
}

void OnDestroy(HWND, TMessage&) {
    TBrowser& browser = Browser();
    browser.Lister.reset();
    browser = TBrowser{};
}

void OnSize(HWND window, TMessage&) {
    Layout(window);
}

void OnDpiChanged(HWND window, TMessage& message) {
    const auto* suggested = reinterpret_cast<const RECT*>(message.LParam);
    ::SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    SetFonts(window);
    Layout(window);
}

void OnClose(HWND window, TMessage&) {
    // Hidden, it keeps its hosts and what they kept for the next look inside.
    ::ShowWindow(window, SW_HIDE);
}

// An archive dropped here is shown; the first of many.
void OnDropFiles(HWND, TMessage& message) {
    UniqueDrop drop(reinterpret_cast<HDROP>(message.WParam));
    const std::vector<std::wstring> paths = DroppedPaths(drop.Get());
    std::string utf8;
    if (!paths.empty() && ExactUtf8(paths.front(), utf8))
        ListPlace(utf8, TIntent::kShow, true);
}

void OnActivate(HWND window, TMessage& message) {
    if (LOWORD(message.WParam) != WA_INACTIVE)
        ::SetFocus(Browser().List);
    message.Result = ::DefWindowProcW(window, message.Msg, message.WParam, message.LParam);
}

constexpr TDispatch kDispatch[] = {
    {WM_CREATE, OnCreate},       {WM_DESTROY, OnDestroy},     {WM_SIZE, OnSize},
    {WM_CLOSE, OnClose},         {WM_COMMAND, OnCommand},     {WM_NOTIFY, OnNotify},
    {WM_DROPFILES, OnDropFiles}, {WM_DPICHANGED, OnDpiChanged}, {WM_BROWSERLISTED, OnListed},
    {WM_ACTIVATE, OnActivate},
};

LRESULT CALLBACK BrowserProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    for (const TDispatch& entry : kDispatch) {
        if (entry.Msg == msg) {
            TMessage message = {msg, wParam, lParam, 0};
            entry.Handler(window, message);
            return message.Result;
        }
    }
    return ::DefWindowProcW(window, msg, wParam, lParam);
}

HWND BrowserWindow() {
    TBrowser& browser = Browser();
    if (browser.Window)
        return browser.Window;
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    HWND window = ::CreateWindowExW(0, WideFromUtf8(kBrowserClassName).c_str(), L"Kelvane",
                                    WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                                    Scaled(640, WindowDpi(nullptr)), Scaled(440, WindowDpi(nullptr)), nullptr,
                                    ::LoadMenuW(module, MAKEINTRESOURCEW(IDR_BROWSERMENU)), module, nullptr);
    if (window)
        Browser().Keys = ::LoadAcceleratorsW(module, MAKEINTRESOURCEW(IDR_BROWSERKEYS));
    return window;
}

}  // namespace

bool RegisterBrowserClass() {
    const std::wstring className = WideFromUtf8(kBrowserClassName);
    WNDCLASSW windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW;
    windowClass.lpfnWndProc = BrowserProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hIcon = ::LoadIconW(windowClass.hInstance, MAKEINTRESOURCEW(IDI_KELVANE));
    windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className.c_str();
    return ::RegisterClassW(&windowClass) != 0;
}

void BrowsePath(const std::string& path) {
    HWND window = BrowserWindow();
    if (!window)
        return;
    ::ShowWindow(window, ::IsIconic(window) ? SW_RESTORE : SW_SHOW);
    ::SetForegroundWindow(window);
    ListPlace(path, TIntent::kShow, true);
}

void BrowseHandedPath(const std::wstring& path) {
    std::string utf8;
    // A path past the bound could never list; it is a broken message.
    if (!path.empty() && path.size() <= kMaxJobPath && ExactUtf8(path, utf8))
        BrowsePath(FullPath(utf8).empty() ? utf8 : FullPath(utf8));
}

void OnCopyData(HWND, TMessage& message) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(message.LParam);
    if (!data || data->dwData != kOpenInBrowserData || data->cbData % sizeof(wchar_t) != 0 || !data->lpData)
        return;
    BrowseHandedPath(std::wstring(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t)));
    message.Result = TRUE;
}

void OpenArchive(HWND owner) {
    wchar_t file[32768] = {};
    const std::wstring filter = WideText("アーカイブ (*.*)") + L'\0' + L"*.*" + L'\0';
    const std::wstring title = WideText("アーカイブを開く");
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = file;
    dialog.nMaxFile = static_cast<DWORD>(std::size(file));
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_HIDEREADONLY;
    std::string path;
    if (::GetOpenFileNameW(&dialog) && ExactUtf8(file, path))
        BrowsePath(path);
}

bool TranslateBrowserKeys(MSG& msg) {
    const TBrowser& browser = Browser();
    if (!browser.Window || !browser.Keys || (msg.hwnd != browser.Window && !::IsChild(browser.Window, msg.hwnd)))
        return false;
    return ::TranslateAcceleratorW(browser.Window, browser.Keys, &msg) != 0;
}
