#include "app/JobList.h"

#include <vssym32.h>

#include "app/Dpi.h"
#include "app/Identifiers.h"
#include "app/RunningJob.h"
#include "app/Theme.h"
#include "base/WideText.h"

namespace {

struct TItemColors {
    int Background;
    int Text;
};

constexpr TItemColors kNormal = {COLOR_WINDOW, COLOR_WINDOWTEXT};
constexpr TItemColors kSelected = {COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT};
// In 96-DPI pixels.
constexpr int kTextInset = 2;
constexpr int kFontHeight = 14;
// Lines of 18 px at 96 DPI, the rows' height before the list's font scaled.
constexpr int kLeading = 4;
constexpr int kToolbarBand = 28;

// The source on the first row; drawSecond draws the second, in the line's colors.
template <typename DrawSecond>
void DrawJob(const DRAWITEMSTRUCT& item, const std::wstring& source, DrawSecond drawSecond) {
    const bool selected = item.itemState & ODS_SELECTED;
    const TTheme theme(item.hwndItem, L"LISTVIEW");
    // A style draws the selection as its list views do, under text in the normal color.
    const bool themed = theme.Draws(LVP_LISTITEM);
    const TItemColors& colors = selected && !themed ? kSelected : kNormal;
    ::FillRect(item.hDC, &item.rcItem, ::GetSysColorBrush(colors.Background));
    if (themed && selected)
        theme.Draw(item.hDC, LVP_LISTITEM, (item.itemState & ODS_FOCUS) ? LISS_SELECTED : LISS_SELECTEDNOTFOCUS,
                   item.rcItem);
    const COLORREF oldText = ::SetTextColor(item.hDC, ::GetSysColor(colors.Text));
    const COLORREF oldBack = ::SetBkColor(item.hDC, ::GetSysColor(colors.Background));
    const int oldMode = ::SetBkMode(item.hDC, themed ? TRANSPARENT : OPAQUE);
    const int inset = Scaled(kTextInset, App().Dpi);
    const int left = item.rcItem.left + inset;
    ::TextOutW(item.hDC, left, item.rcItem.top + inset, source.c_str(), static_cast<int>(source.size()));
    drawSecond(RECT{left, item.rcItem.top + App().LineHeight, item.rcItem.right, item.rcItem.bottom});
    if ((item.itemState & ODS_FOCUS) && !themed)
        ::DrawFocusRect(item.hDC, &item.rcItem);
    ::SetBkMode(item.hDC, oldMode);
    ::SetTextColor(item.hDC, oldText);
    ::SetBkColor(item.hDC, oldBack);
}

}  // namespace

// One text line of the list font, with its leading.
int MeasureLineHeight() {
    WindowDC screen(nullptr);
    TEXTMETRICA metrics = {};
    if (!screen.Get())
        return 0;
    const HGDIOBJ old = ::SelectObject(screen.Get(), App().ListFont.Get());
    const bool measured = ::GetTextMetricsA(screen.Get(), &metrics);
    ::SelectObject(screen.Get(), old);
    return measured ? metrics.tmHeight + Scaled(kLeading, App().Dpi) : 0;
}

int ItemHeight(int lineHeight) {
    return 2 * lineHeight + 2 * Scaled(kTextInset, App().Dpi);
}

int ToolbarHeight(int dpi) {
    return Scaled(kToolbarBand, dpi);
}

HFONT CreateListFont(int dpi) {
    LOGFONTA font = {};
    font.lfHeight = Scaled(kFontHeight, dpi);
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(font.lfFaceName, "ＭＳ ゴシック", LF_FACESIZE);
    return ::CreateFontIndirectA(&font);
}

HWND CreateJobList(HWND window) {
    RECT client = {};
    ::GetClientRect(window, &client);
    if (App().ToolbarPresent)
        client.top += ToolbarHeight(App().Dpi);
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
    // The window's own record, so that the list follows it from its creation on; the list itself is
    // never maximized or minimized with it, which would size it to the whole client area below the
    // toolbar and put its last rows out of sight.
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (!::GetWindowPlacement(::GetParent(jobList), &placement))
        return false;
    placement.flags = 0;
    placement.showCmd = SW_SHOWNOACTIVATE;
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
    // Asked once while the list box is created, before its handle is stored: measured on the
    // screen's context, in the list's font.
    if (const int lineHeight = MeasureLineHeight()) {
        App().LineHeight = lineHeight;
        measure->itemHeight = ItemHeight(lineHeight);
    }
}

void RescaleJobList(HWND jobList) {
    ::SendMessageA(jobList, WM_SETFONT, reinterpret_cast<WPARAM>(App().ListFont.Get()), FALSE);
    // A fixed-height owner-drawn list measures once: the new height is set, not asked for.
    if (const int lineHeight = MeasureLineHeight()) {
        App().LineHeight = lineHeight;
        ::SendMessageA(jobList, LB_SETITEMHEIGHT, 0, ItemHeight(lineHeight));
    }
    ::InvalidateRect(jobList, nullptr, TRUE);
}

TJobLineTexts JobLineTexts(int line) {
    if (line < RunningLines()) {
        const TRunningJob& running = *App().Running;
        return {WideFromUtf8(running.Job.Source), RunningText(running)};
    }
    const int index = line - RunningLines();
    // Drawn whole, however long the destination is.
    return {WideFromUtf8(App().Queue->GetSource(index)), WideFromUtf8(" -> " + App().Queue->GetDestination(index))};
}

void OnDrawItem(HWND, TMessage& message) {
    if (message.WParam != IDC_JOBLIST)
        return;
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(message.LParam);
    if (!App().Queue || item.itemID == static_cast<UINT>(-1) || !(item.itemAction & (ODA_DRAWENTIRE | ODA_SELECT | ODA_FOCUS)))
        return;
    const int line = static_cast<int>(item.itemID);
    const TJobLineTexts texts = JobLineTexts(line);
    DrawJob(item, texts.Source, [&](const RECT& row) {
        if (line < RunningLines())
            DrawRunning(item.hDC, row, *App().Running, texts.Second);
        else
            ::TextOutW(item.hDC, row.left, row.top, texts.Second.c_str(), static_cast<int>(texts.Second.size()));
    });
}
