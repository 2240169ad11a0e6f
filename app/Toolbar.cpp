#include "app/Toolbar.h"

#include <commctrl.h>

#include <iterator>

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
constexpr int kButtonSize = 16;

}  // namespace

HWND CreateToolbar(HWND window) {
    TBBUTTON buttons[std::size(kButtons)] = {};
    for (size_t i = 0; i < std::size(kButtons); ++i) {
        const TToolButton& button = kButtons[i];
        buttons[i].iBitmap = button.Image < 0 ? 0 : button.Image;
        buttons[i].idCommand = static_cast<int>(button.Command);
        buttons[i].fsState = button.Image < 0 ? 0 : TBSTATE_ENABLED;
        buttons[i].fsStyle = button.Image < 0 ? TBSTYLE_SEP : TBSTYLE_BUTTON;
    }
    return ::CreateToolbarEx(window, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS, IDC_TOOLBAR, kImageCount,
                             ::GetModuleHandleA(nullptr), IDB_TOOLBAR, buttons, static_cast<int>(std::size(kButtons)),
                             kButtonSize, kButtonSize, 0, 0, sizeof(TBBUTTON));
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
