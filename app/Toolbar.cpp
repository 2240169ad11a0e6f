#include "app/Toolbar.h"

#include <commctrl.h>

#include <iterator>

#include "app/Dpi.h"
#include "app/Identifiers.h"

namespace {

struct TToolButton {
    int Image;  // -1 for a separator
    UINT Command;
    const char* ToolTip;
};

constexpr TToolButton kButtons[] = {
    {-1, 0, nullptr},
    {0, IDM_EXTRACT, "解凍"},
    {1, IDM_DELETE, "削除"},
    {-1, 0, nullptr},
    {2, IDM_CONTINUOUS, "連続解凍"},
    {3, IDM_PAUSE, "一時停止"},
    {4, IDM_CANCELALL, "全て取り消し"},
    {-1, 0, nullptr},
    {5, IDM_CHANGEDEST, "解凍先フォルダの変更"},
};
constexpr int kImageCount = 6;
// A button around a 16 px image, as the toolbar sizes it at 96 DPI.
constexpr SIZE kButton = {23, 22};

struct TStrip {
    int MinDpi;
    UINT Bitmap;
    int Size;
};

// The largest strip whose images the DPI does not have to stretch beyond 100 % of their drawing.
constexpr TStrip kStrips[] = {{192, IDB_TOOLBAR32, 32}, {144, IDB_TOOLBAR24, 24}, {0, IDB_TOOLBAR, 16}};

const TStrip& StripFor(int dpi) {
    for (const TStrip& strip : kStrips)
        if (dpi >= strip.MinDpi)
            return strip;
    return kStrips[std::size(kStrips) - 1];
}

}  // namespace

HWND CreateToolbar(HWND window, int dpi) {
    TBBUTTON buttons[std::size(kButtons)] = {};
    for (size_t i = 0; i < std::size(kButtons); ++i) {
        const TToolButton& button = kButtons[i];
        buttons[i].iBitmap = button.Image < 0 ? 0 : button.Image;
        buttons[i].idCommand = static_cast<int>(button.Command);
        buttons[i].fsState = button.Image < 0 ? 0 : TBSTATE_ENABLED;
        buttons[i].fsStyle = button.Image < 0 ? TBSTYLE_SEP : TBSTYLE_BUTTON;
    }
    const TStrip& strip = StripFor(dpi);
    HWND toolbar = ::CreateToolbarEx(window, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS, IDC_TOOLBAR, kImageCount,
                                     ::GetModuleHandleA(nullptr), strip.Bitmap, buttons,
                                     static_cast<int>(std::size(kButtons)), 0, 0, strip.Size, strip.Size,
                                     sizeof(TBBUTTON));
    ::SendMessageA(toolbar, TB_SETBUTTONSIZE, 0, MAKELPARAM(Scaled(kButton.cx, dpi), Scaled(kButton.cy, dpi)));
    ::SendMessageA(toolbar, TB_AUTOSIZE, 0, 0);
    return toolbar;
}

const char* ToolTipText(UINT_PTR command) {
    for (const TToolButton& button : kButtons)
        if (button.ToolTip && button.Command == command)
            return button.ToolTip;
    return nullptr;
}

void OnNotify(HWND, TMessage& message) {
    auto* header = reinterpret_cast<NMHDR*>(message.LParam);
    if (!header || header->code != TTN_NEEDTEXTA)
        return;
    if (const char* text = ToolTipText(header->idFrom))
        reinterpret_cast<NMTTDISPINFOA*>(header)->lpszText = const_cast<char*>(text);
}
