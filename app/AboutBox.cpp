#include "app/AboutBox.h"

#include "app/AppState.h"
#include "app/Dpi.h"
#include "app/Identifiers.h"

namespace {

// In 96-DPI pixels.
constexpr int kIconSize = 32;
constexpr int kIconInset = 8;

}  // namespace

void ShowAbout(HWND window) {
    ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), window, AboutDialogProc, 0);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
        case WM_PAINT: {
            // The program icon sits in the space left of the name, drawn at the size the DPI asks
            // for rather than stretched from another.
            const int dpi = WindowDpi(dialog);
            const int size = Scaled(kIconSize, dpi);
            UniqueIcon& icon = App().AboutIcon;
            if (!icon.Get())
                icon.Reset(static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_KELVANE),
                                                           IMAGE_ICON, size, size, 0)));
            PAINTSTRUCT paint;
            HDC context = ::BeginPaint(dialog, &paint);
            const int at = Scaled(kIconInset, dpi);
            ::DrawIconEx(context, at, at, icon.Get(), size, size, 0, nullptr, DI_NORMAL);
            ::EndPaint(dialog, &paint);
            return FALSE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                App().AboutIcon.Reset();
                ::EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}
