#include "app/JobList.h"

#include "app/Identifiers.h"
#include "app/RunningJob.h"

namespace {

struct TItemColors {
    int Background;
    int Text;
};

constexpr TItemColors kNormal = {COLOR_WINDOW, COLOR_WINDOWTEXT};
constexpr TItemColors kSelected = {COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT};
constexpr int kTextInset = 2;

// The source on the first row; drawSecond draws the second, in the line's colors.
template <typename DrawSecond>
void DrawJob(const DRAWITEMSTRUCT& item, const std::string& source, DrawSecond drawSecond) {
    const TItemColors& colors = (item.itemState & ODS_SELECTED) ? kSelected : kNormal;
    ::FillRect(item.hDC, &item.rcItem, ::GetSysColorBrush(colors.Background));
    const COLORREF oldText = ::SetTextColor(item.hDC, ::GetSysColor(colors.Text));
    const COLORREF oldBack = ::SetBkColor(item.hDC, ::GetSysColor(colors.Background));
    const int left = item.rcItem.left + kTextInset;
    ::TextOutA(item.hDC, left, item.rcItem.top + kTextInset, source.c_str(), static_cast<int>(source.size()));
    drawSecond(RECT{left, item.rcItem.top + App().LineHeight, item.rcItem.right, item.rcItem.bottom});
    ::SetTextColor(item.hDC, oldText);
    ::SetBkColor(item.hDC, oldBack);
}

}  // namespace

HFONT CreateListFont() {
    LOGFONTA font = {};
    font.lfHeight = 14;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(font.lfFaceName, "ＭＳ ゴシック", LF_FACESIZE);
    return ::CreateFontIndirectA(&font);
}

HWND CreateJobList(HWND window) {
    RECT client = {};
    ::GetClientRect(window, &client);
    if (App().ToolbarPresent)
        client.top += kToolbarHeight;
    HWND list = ::CreateWindowExA(
        0, "listbox", nullptr,
        WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | LBS_NODATA | LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED |
            LBS_NOTIFY,
        client.left, client.top, client.right - client.left, client.bottom - client.top, window,
        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IDC_JOBLIST)), ::GetModuleHandleA(nullptr), nullptr);
    if (list)
        ::SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(App().ListFont.Get()), FALSE);
    return list;
}

bool MoveJobList(HWND jobList, const RECT& rect) {
    // Fails while the main window's handle is not stored yet: during creation the list was just
    // made at the right size.
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (!::GetWindowPlacement(App().MainWindow, &placement))
        return false;
    placement.rcNormalPosition = rect;
    placement.ptMaxPosition = {rect.left, rect.top};
    return ::SetWindowPlacement(jobList, &placement);
}

void SyncJobLines(HWND jobList, int count) {
    const LRESULT top = ::SendMessageA(jobList, LB_GETTOPINDEX, 0, 0);
    const LRESULT selected = ::SendMessageA(jobList, LB_GETCURSEL, 0, 0);
    // Without this the list box repaints once per line it adds.
    ::SendMessageA(jobList, WM_SETREDRAW, FALSE, 0);
    ::SendMessageA(jobList, LB_SETCOUNT, count, 0);
    if (selected != LB_ERR && selected < count)
        ::SendMessageA(jobList, LB_SETCURSEL, selected, 0);
    if (top != LB_ERR)
        ::SendMessageA(jobList, LB_SETTOPINDEX, top, 0);
    ::SendMessageA(jobList, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(jobList, nullptr, TRUE);
}

void ClearJobLines(HWND jobList) {
    ::SendMessageA(jobList, LB_RESETCONTENT, 0, 0);
}

void OnMeasureItem(HWND, TMessage& message) {
    if (message.WParam != IDC_JOBLIST)
        return;
    auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(message.LParam);
    // Asked once while the list box is created, before its handle is stored: the screen's
    // context, with the system's default font.
    WindowDC context(App().JobList);
    TEXTMETRICA metrics = {};
    if (context.Get() && ::GetTextMetricsA(context.Get(), &metrics)) {
        App().LineHeight = metrics.tmHeight;
        measure->itemHeight = 2 * metrics.tmHeight + 4;
    }
}

void OnDrawItem(HWND, TMessage& message) {
    if (message.WParam != IDC_JOBLIST)
        return;
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(message.LParam);
    if (!App().Queue || item.itemID == static_cast<UINT>(-1) || !(item.itemAction & (ODA_DRAWENTIRE | ODA_SELECT | ODA_FOCUS)))
        return;
    const int line = static_cast<int>(item.itemID);
    if (line < RunningLines()) {
        const TRunningJob& running = *App().Running;
        DrawJob(item, running.Job.Source, [&](const RECT& row) { DrawRunning(item.hDC, row, running); });
        return;
    }
    const int index = line - RunningLines();
    DrawJob(item, App().Queue->GetSource(index), [&](const RECT& row) {
        // Drawn whole, however long the destination is.
        const std::string second = " -> " + App().Queue->GetDestination(index);
        ::TextOutA(item.hDC, row.left, row.top, second.c_str(), static_cast<int>(second.size()));
    });
}
