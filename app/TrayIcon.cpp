#include "app/TrayIcon.h"

#include <shellapi.h>

#include <algorithm>
#include <iterator>

#include "app/AppState.h"
#include "app/BalloonText.h"
#include "app/Identifiers.h"
#include "base/WideText.h"

namespace {

// The record as shells since Windows 2000 read it: with the balloon fields, without later ones.
constexpr DWORD kTrayRecordSize = NOTIFYICONDATAW_V2_SIZE;

// Copies text into a fixed field, cut on a character boundary: never between a surrogate pair.
template <size_t N>
void PutText(wchar_t (&field)[N], std::wstring_view text) {
    size_t fitting = std::min(text.size(), N - 1);
    if (fitting < text.size() && fitting > 0 && text[fitting - 1] >= 0xD800 && text[fitting - 1] <= 0xDBFF)
        --fitting;
    text.copy(field, fitting);
    field[fitting] = L'\0';
}

}  // namespace

void AddTrayIcon(HWND window) {
    AppState& app = App();
    // The small-icon size follows the DPI; the icon file has an image for each common one.
    auto* small = static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_KELVANE),
                                                  IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                  ::GetSystemMetrics(SM_CYSMICON), 0));
    app.TrayIcon.Reset(small);

    NOTIFYICONDATAW& tray = app.Tray;
    tray = {};
    tray.cbSize = kTrayRecordSize;
    tray.hWnd = window;
    tray.uID = 0;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray.uCallbackMessage = WM_TRAYNOTIFY;
    tray.hIcon = small;
    PutText(tray.szTip, WideFromUtf8(app.Failures.Tip()));
    ::Shell_NotifyIconW(NIM_ADD, &tray);
}

void SetTrayTip(const std::string& tip) {
    NOTIFYICONDATAW& tray = App().Tray;
    tray.uFlags = NIF_TIP;
    PutText(tray.szTip, WideFromUtf8(tip));
    ::Shell_NotifyIconW(NIM_MODIFY, &tray);
}

void ShowTrayBalloon(const std::string& title, const std::string& text) {
    NOTIFYICONDATAW& tray = App().Tray;
    tray.uFlags = NIF_INFO;
    tray.dwInfoFlags = NIIF_WARNING;
    const std::wstring info = BalloonText(WideFromUtf8(text), std::size(tray.szInfo), App().Dpi);
    PutText(tray.szInfoTitle, BalloonTitle(WideFromUtf8(title), info, std::size(tray.szInfoTitle), App().Dpi));
    PutText(tray.szInfo, info);
    ::Shell_NotifyIconW(NIM_MODIFY, &tray);
    ++App().BalloonsShown;
}

void RemoveTrayIcon() {
    ::Shell_NotifyIconW(NIM_DELETE, &App().Tray);
}
