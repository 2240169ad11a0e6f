#include "app/TrayIcon.h"

#include <shellapi.h>

#include "app/AppState.h"
#include "app/Identifiers.h"
#include "base/ModulePath.h"

namespace {

// The classic record size: every shell version understands it.
constexpr DWORD kTrayRecordSize = 88;
static_assert(NOTIFYICONDATAA_V1_SIZE == kTrayRecordSize);

}  // namespace

void AddTrayIcon(HWND window) {
    AppState& app = App();
    HICON large = nullptr;
    HICON small = nullptr;
    ::ExtractIconExA(ModulePath().c_str(), 0, &large, &small, 1);
    UniqueIcon unusedLarge(large);
    app.TrayIcon.Reset(small);

    NOTIFYICONDATAA& tray = app.Tray;
    tray = {};
    tray.cbSize = kTrayRecordSize;
    tray.hWnd = window;
    tray.uID = 0;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray.uCallbackMessage = WM_TRAYNOTIFY;
    tray.hIcon = small;
    lstrcpynA(tray.szTip, "Kelvane", sizeof tray.szTip);
    ::Shell_NotifyIconA(NIM_ADD, &tray);
}

void RemoveTrayIcon() {
    ::Shell_NotifyIconA(NIM_DELETE, &App().Tray);
}
