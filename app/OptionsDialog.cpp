#include "app/OptionsDialog.h"

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/FolderBrowser.h"
#include "app/Identifiers.h"
#include "app/PluginStateText.h"
#include "base/ModulePath.h"
#include "base/PathText.h"
#include "base/Owned.h"
#include "base/WideText.h"
#include "jobs/PluginInquiry.h"

namespace {

// Work with a TPluginInquiry of its own on a thread of its own. Ending it ends that inquiry's hosts,
// so that a plug-in stuck in its loading or in its dialog never keeps the dialog from closing.
class TInquiryThread {
public:
    using TWork = std::function<void(TPluginInquiry& inquiry, const std::atomic<bool>& stop)>;

    TInquiryThread(const std::string& folder, TWork work)
        : Inquiry(ProgramFolder(), folder), Work(std::move(work)),
          Thread(::CreateThread(nullptr, 0, Run, this, 0, nullptr)) {}
    ~TInquiryThread() {
        Stop = true;
        // A question asked just before the stop still starts a host: it is ended too.
        while (Thread && ::WaitForSingleObject(Thread.Get(), kEndCheckMs) == WAIT_TIMEOUT)
            Inquiry.Terminate();
    }
    TInquiryThread(const TInquiryThread&) = delete;
    TInquiryThread& operator=(const TInquiryThread&) = delete;

private:
    static constexpr DWORD kEndCheckMs = 50;
    static DWORD WINAPI Run(LPVOID self) {
        auto& thread = *static_cast<TInquiryThread*>(self);
        thread.Work(thread.Inquiry, thread.Stop);
        return 0;
    }

    TPluginInquiry Inquiry;
    TWork Work;
    std::atomic<bool> Stop{false};
    UniqueHandle Thread;
};

// One row's answer, posted to the dialog; rows of an earlier folder are passed over.
struct TAnswer {
    unsigned Generation;
    size_t Index;
    TPluginRow Row;
};

enum TColumn { kFileColumn, kBitsColumn, kStateColumn, kFormatsColumn, kVersionColumn };
// Each column's share of the list's width, in percent.
constexpr struct {
    const char* Title;
    int Percent;
} kColumns[] = {{"ファイル", 18}, {"ビット", 7}, {"状態", 37}, {"形式", 24}, {"バージョン", 14}};

struct TOptions {
    HWND Dialog = nullptr;
    HWND List = nullptr;
    TPluginFolder Folder;
    std::vector<TPluginRow> Rows;
    unsigned Generation = 0;
    bool Filling = false;  // the list's changes are the dialog's own, not the user's
    // Declared last: they go first, while what they post to still exists.
    std::unique_ptr<TInquiryThread> Asking;
    std::unique_ptr<TInquiryThread> Configuring;
};

// The dialog is modal and shown once at a time.
std::unique_ptr<TOptions> shown;

void SetText(HWND dialog, int control, const std::string& utf8) {
    ::SetDlgItemTextW(dialog, control, WideFromUtf8(utf8).c_str());
}

void SetCell(HWND list, int item, int column, const std::string& utf8) {
    std::wstring text = WideFromUtf8(utf8);
    LVITEMW cell = {};
    cell.iSubItem = column;
    cell.pszText = text.data();
    ::SendMessageW(list, LVM_SETITEMTEXTW, item, reinterpret_cast<LPARAM>(&cell));
}

void ShowRow(TOptions& options, int item) {
    const TPluginRow& row = options.Rows[item];
    SetCell(options.List, item, kBitsColumn, std::to_string(row.Bits));
    SetCell(options.List, item, kStateColumn, StateText(row));
    SetCell(options.List, item, kFormatsColumn, FormatsText(row));
    SetCell(options.List, item, kVersionColumn, row.Facts.Version);
}

int SelectedRow(const TOptions& options) {
    return static_cast<int>(::SendMessageW(options.List, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// The selected row's state whole below the list, where its column may cut it.
void ShowSelected(const TOptions& options) {
    const int item = SelectedRow(options);
    if (options.Configuring)
        return;
    SetText(options.Dialog, IDC_PLUGINNOTE,
            item >= 0 ? options.Rows[item].FileName + ": " + StateText(options.Rows[item]) : std::string());
}

void EnableSettings(const TOptions& options) {
    const int item = SelectedRow(options);
    const bool has = item >= 0 && options.Rows[item].Answered && options.Rows[item].Facts.HasSettings;
    ::EnableWindow(::GetDlgItem(options.Dialog, IDC_PLUGINSETTINGS), has && !options.Configuring);
}

void AskAll(TOptions& options) {
    options.Asking.reset();
    std::vector<TPluginRow> rows = options.Rows;
    const HWND dialog = options.Dialog;
    const unsigned generation = options.Generation;
    options.Asking = std::make_unique<TInquiryThread>(
        options.Folder.Path, [rows = std::move(rows), dialog, generation](TPluginInquiry& inquiry,
                                                                         const std::atomic<bool>& stop) mutable {
            for (size_t i = 0; i < rows.size() && !stop; ++i) {
                inquiry.Ask(rows[i]);
                auto answer = std::make_unique<TAnswer>(TAnswer{generation, i, std::move(rows[i])});
                if (!stop && ::PostMessageW(dialog, WM_PLUGINANSWERED, 0, reinterpret_cast<LPARAM>(answer.get())))
                    answer.release();
            }
        });
}

// The folder and its rows afresh, as the settings name them now.
void Refresh(TOptions& options) {
    options.Asking.reset();
    options.Folder = FindPluginFolder();
    options.Rows = PluginRows(options.Folder.Path, App().Host ? App().Host->Standing() : std::vector<TPluginStanding>());
    ++options.Generation;
    SetText(options.Dialog, IDC_PLUGINFOLDER, FolderShown(options.Folder.Path));
    SetText(options.Dialog, IDC_FOLDERSOURCE,
            options.Rows.empty() ? SourceText(options.Folder.Source) + Utf8Text("。プラグインがありません")
                                 : SourceText(options.Folder.Source));
    SetText(options.Dialog, IDC_PLUGINNOTE, "");
    ::EnableWindow(::GetDlgItem(options.Dialog, IDC_DEFAULTFOLDER), options.Folder.Source == TFolderSource::kKelvane);
    options.Filling = true;
    ::SendMessageW(options.List, LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < options.Rows.size(); ++i) {
        std::wstring name = WideFromUtf8(options.Rows[i].FileName);
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = name.data();
        const int at = static_cast<int>(::SendMessageW(options.List, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        ListView_SetCheckState(options.List, at, options.Rows[i].Switch == TSwitch::kOn);
        ShowRow(options, at);
    }
    options.Filling = false;
    EnableSettings(options);
    if (!options.Rows.empty())
        AskAll(options);
}

void AddColumns(HWND list) {
    RECT client = {};
    ::GetClientRect(list, &client);
    const int width = client.right - client.left - ::GetSystemMetrics(SM_CXVSCROLL);
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        std::wstring title = WideFromUtf8(Utf8Text(kColumns[i].Title));
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = title.data();
        column.cx = width * kColumns[i].Percent / 100;
        ::SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

INT_PTR OnInit(TOptions& options, WPARAM, LPARAM) {
    options.List = ::GetDlgItem(options.Dialog, IDC_PLUGINLIST);
    ListView_SetExtendedListViewStyle(options.List, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    AddColumns(options.List);
    Refresh(options);
    // The list has the focus, not the folder's text.
    ::SetFocus(options.List);
    return FALSE;
}

INT_PTR OnAnswered(TOptions& options, WPARAM, LPARAM lParam) {
    const std::unique_ptr<TAnswer> answer(reinterpret_cast<TAnswer*>(lParam));
    if (answer->Generation != options.Generation || answer->Index >= options.Rows.size())
        return TRUE;
    TPluginRow& row = options.Rows[answer->Index];
    row.Answered = true;
    row.Facts = std::move(answer->Row.Facts);
    row.AskFailure = answer->Row.AskFailure;
    ShowRow(options, static_cast<int>(answer->Index));
    if (SelectedRow(options) == static_cast<int>(answer->Index))
        ShowSelected(options);
    EnableSettings(options);
    return TRUE;
}

INT_PTR OnConfigured(TOptions& options, WPARAM, LPARAM) {
    options.Configuring.reset();
    ShowSelected(options);
    // The plug-in may keep its settings where only a fresh load reads them.
    if (App().Host)
        App().Host->Renew();
    EnableSettings(options);
    return TRUE;
}

// toDefault: Kelvane's choice is forgotten, and Susie's folder or the one beside the program holds.
void ChangeFolder(TOptions& options, bool toDefault) {
    const std::optional<std::string> chosen =
        toDefault ? std::string() : BrowseForFolder(options.Dialog, "プラグインのフォルダの選択", FolderShown(options.Folder.Path));
    if (!chosen)
        return;
    if (!ChoosePluginFolder(*chosen)) {
        SetText(options.Dialog, IDC_PLUGINNOTE, Utf8Text("フォルダを設定に書き込めませんでした"));
        return;
    }
    if (App().Host)
        App().Host->Renew();
    Refresh(options);
}

void Configure(TOptions& options) {
    const int item = SelectedRow(options);
    if (item < 0 || options.Configuring || !options.Rows[item].Facts.HasSettings)
        return;
    const TPluginRow row = options.Rows[item];
    const HWND dialog = options.Dialog;
    options.Configuring = std::make_unique<TInquiryThread>(
        options.Folder.Path, [row, dialog](TPluginInquiry& inquiry, const std::atomic<bool>&) {
            inquiry.Configure(row, dialog);
            ::PostMessageW(dialog, WM_PLUGINCONFIGURED, 0, 0);
        });
    SetText(options.Dialog, IDC_PLUGINNOTE, row.FileName + Utf8Text(" の設定ダイアログを開いています"));
    EnableSettings(options);
}

// A check box the user changed: Kelvane's own value. One that Susie's settings switch off stays so.
bool RefusesCheck(TOptions& options, const NMLISTVIEW& change) {
    const bool checkChanges = (change.uChanged & LVIF_STATE) &&
                              ((change.uOldState ^ change.uNewState) & LVIS_STATEIMAGEMASK) &&
                              (change.uOldState & LVIS_STATEIMAGEMASK) != 0;
    if (options.Filling || !checkChanges || change.iItem < 0 ||
        options.Rows[change.iItem].Switch != TSwitch::kOffInSusie)
        return false;
    SetText(options.Dialog, IDC_PLUGINNOTE, Utf8Text("Susie の設定でオフです。Susie で切り替えてください"));
    return true;
}

void OnItemChanged(TOptions& options, const NMLISTVIEW& change) {
    if (!(change.uChanged & LVIF_STATE) || change.iItem < 0)
        return;
    if ((change.uOldState ^ change.uNewState) & LVIS_SELECTED) {
        ShowSelected(options);
        EnableSettings(options);
    }
    const bool checkChanged = ((change.uOldState ^ change.uNewState) & LVIS_STATEIMAGEMASK) &&
                              (change.uOldState & LVIS_STATEIMAGEMASK) != 0;
    if (options.Filling || !checkChanged)
        return;
    TPluginRow& row = options.Rows[change.iItem];
    const bool on = ListView_GetCheckState(options.List, change.iItem) != 0;
    if (!SwitchPlugin(row.FileName, on)) {
        SetText(options.Dialog, IDC_PLUGINNOTE, Utf8Text("設定に書き込めませんでした"));
        return;
    }
    row.Switch = on ? TSwitch::kOn : TSwitch::kOffInKelvane;
    if (App().Host)
        App().Host->Renew();
    ShowRow(options, change.iItem);
    ShowSelected(options);
}

INT_PTR OnNotify(TOptions& options, WPARAM, LPARAM lParam) {
    const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
    if (header.idFrom != IDC_PLUGINLIST)
        return FALSE;
    const auto& change = *reinterpret_cast<const NMLISTVIEW*>(lParam);
    if (header.code == LVN_ITEMCHANGING && RefusesCheck(options, change)) {
        ::SetWindowLongPtrW(options.Dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    if (header.code == LVN_ITEMCHANGED)
        OnItemChanged(options, change);
    return FALSE;
}

INT_PTR OnCommand(TOptions& options, WPARAM wParam, LPARAM) {
    switch (LOWORD(wParam)) {
        case IDC_CHANGEFOLDER:
            ChangeFolder(options, false);
            return TRUE;
        case IDC_DEFAULTFOLDER:
            ChangeFolder(options, true);
            return TRUE;
        case IDC_PLUGINSETTINGS:
            Configure(options);
            return TRUE;
        case IDOK:
        case IDCANCEL:
            ::EndDialog(options.Dialog, LOWORD(wParam));
            return TRUE;
        default:
            return FALSE;
    }
}

// The threads end before the window goes, and what they posted and the dialog never took is freed.
INT_PTR OnDestroy(TOptions& options, WPARAM, LPARAM) {
    options.Asking.reset();
    options.Configuring.reset();
    MSG left;
    while (::PeekMessageW(&left, options.Dialog, WM_PLUGINANSWERED, WM_PLUGINANSWERED, PM_REMOVE))
        delete reinterpret_cast<TAnswer*>(left.lParam);
    return FALSE;
}

constexpr struct {
    UINT Msg;
    INT_PTR (*Handler)(TOptions& options, WPARAM wParam, LPARAM lParam);
} kDispatch[] = {
    {WM_INITDIALOG, OnInit},
    {WM_COMMAND, OnCommand},
    {WM_NOTIFY, OnNotify},
    {WM_PLUGINANSWERED, OnAnswered},
    {WM_PLUGINCONFIGURED, OnConfigured},
    {WM_DESTROY, OnDestroy},
};

}  // namespace

void ShowOptions(HWND window) {
    // Asked again from the tray while it is open: it comes to the front.
    if (shown) {
        ::SetForegroundWindow(shown->Dialog);
        return;
    }
    shown = std::make_unique<TOptions>();
    ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_OPTIONS), window, OptionsDialogProc, 0);
    shown.reset();
}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!shown)
        return FALSE;
    shown->Dialog = dialog;
    for (const auto& entry : kDispatch)
        if (entry.Msg == msg)
            return entry.Handler(*shown, wParam, lParam);
    return FALSE;
}
