#include "app/Commands.h"

#include "app/BrowserWindow.h"

#include "app/AboutBox.h"
#include "app/FolderBrowser.h"
#include "app/Identifiers.h"
#include "app/JobCommands.h"
#include "app/MainWindow.h"
#include "app/OptionsDialog.h"
#include "app/Resident.h"
#include "app/StartAtLogon.h"

namespace {

using TCommandHandler = void (*)(HWND window, TMessage& message);

template <void (*Handler)(HWND)>
void Plain(HWND window, TMessage&) {
    Handler(window);
}

struct TCommand {
    UINT Id;
    TCommandHandler Handler;
};

constexpr TCommand kCommands[] = {
    {IDM_CLOSE, Plain<HideMainWindow>},
    {IDM_EXIT, ExitResident},
    {IDM_QUITKEEPINGJOBS, Plain<QuitKeepingJobs>},
    {IDM_STARTATLOGON, ToggleStartAtLogon},
    {IDM_DELETE, Plain<DeleteSelected>},
    {IDM_EXTRACT, Plain<ExtractSelected>},
    {IDM_CONTINUOUS, Plain<SetContinuous>},
    {IDM_PAUSE, Plain<SetPaused>},
    {IDM_CANCELALL, Plain<CancelAll>},
    {IDM_CANCELRUNNING, Plain<CancelRunning>},
    {IDM_CHANGEDEST, Plain<BrowseDestination>},
    {IDM_OPTIONS, Plain<ShowOptions>},
    {IDM_ABOUT, Plain<ShowAbout>},
    {IDM_OPENARCHIVE, Plain<OpenArchive>},
};

// Submenus of the window's menu that the tray icon pops up.
constexpr int kFileMenu = 0;
constexpr int kExtractMenu = 1;

void PopUp(HWND window, int submenu) {
    POINT cursor;
    if (!::GetCursorPos(&cursor))
        return;
    // The window must be in front, or the menu does not close when the user clicks elsewhere.
    ::SetForegroundWindow(window);
    ::TrackPopupMenu(::GetSubMenu(::GetMenu(window), submenu), TPM_RIGHTALIGN, cursor.x, cursor.y, 0, window,
                     nullptr);
    ::PostMessageA(window, WM_NULL, 0, 0);
}

}  // namespace

void OnInitMenuPopup(HWND, TMessage& message) {
    ShowStartAtLogon(reinterpret_cast<HMENU>(message.WParam));
}

void OnCommand(HWND window, TMessage& message) {
    // High word 0: menu or button; 1: accelerator; anything more: a control's notification.
    if (HIWORD(message.WParam) < 2) {
        for (const TCommand& command : kCommands) {
            if (command.Id == LOWORD(message.WParam)) {
                command.Handler(window, message);
                return;
            }
        }
    }
    message.Result = ::DefWindowProcW(window, message.Msg, message.WParam, message.LParam);
}

void OnTrayNotify(HWND window, TMessage& message) {
    if (message.WParam != 0)
        return;
    switch (message.LParam) {
        case WM_LBUTTONDOWN:
            PopUp(window, kExtractMenu);
            break;
        case WM_RBUTTONDOWN:
            PopUp(window, kFileMenu);
            break;
        case WM_LBUTTONDBLCLK:
            ShowMainWindow(window);
            break;
        default:
            break;
    }
}
