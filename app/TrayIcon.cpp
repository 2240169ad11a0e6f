#include "app/TrayIcon.h"

#include <shellapi.h>

#include "app/AppState.h"
#include "app/BalloonText.h"
#include "app/Identifiers.h"
#include "base/PathText.h"

namespace {

// The record as shells since Windows 2000 read it: with the balloon fields, without later ones.
constexpr DWORD kTrayRecordSize = NOTIFYICONDATAA_V2_SIZE;

// Copies text into a fixed field, cut on a character boundary.
template <size_t N>
void PutText(char (&field)[N], const std::string& text) {
    const std::string_view fitting = CutAtCharacter(text, N - 1);
    fitting.copy(field, fitting.size());
    field[fitting.size()] = '\0';
}

}  // namespace

void AddTrayIcon(HWND window) {
    AppState& app = App();
    // The small-icon size follows the DPI; the icon file has an image for each common one.
    auto* small = static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_KELVANE),
                                                  IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                  ::GetSystemMetrics(SM_CYSMICON), 0));
    app.TrayIcon.Reset(small);

    NOTIFYICONDATAA& tray = app.Tray;
    tray = {};
    tray.cbSize = kTrayRecordSize;
    tray.hWnd = window;
    tray.uID = 0;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray.uCallbackMessage = WM_TRAYNOTIFY;
    tray.hIcon = small;
    PutText(tray.szTip, app.Failures.Tip());
    ::Shell_NotifyIconA(NIM_ADD, &tray);
}

void SetTrayTip(const std::string& tip) {
    NOTIFYICONDATAA& tray = App().Tray;
    tray.uFlags = NIF_TIP;
    PutText(tray.szTip, tip);
    ::Shell_NotifyIconA(NIM_MODIFY, &tray);
}

void ShowTrayBalloon(const std::string& title, const std::string& text) {
    NOTIFYICONDATAA& tray = App().Tray;
    tray.uFlags = NIF_INFO;
    tray.dwInfoFlags = NIIF_WARNING;
    const std::string info = BalloonText(text, sizeof tray.szInfo, App().Dpi);
    PutText(tray.szInfoTitle, BalloonTitle(title, info, sizeof tray.szInfoTitle, App().Dpi));
    PutText(tray.szInfo, info);
    ::Shell_NotifyIconA(NIM_MODIFY, &tray);
    ++App().BalloonsShown;
}

void RemoveTrayIcon() {
    ::Shell_NotifyIconA(NIM_DELETE, &App().Tray);
}
