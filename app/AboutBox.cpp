#include "app/AboutBox.h"

#include "app/Identifiers.h"

void ShowAbout(HWND window) {
    ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), window, AboutDialogProc, 0);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
        case WM_PAINT: {
            // The program icon sits in the space left of the name.
            PAINTSTRUCT paint;
            HDC context = ::BeginPaint(dialog, &paint);
            ::DrawIcon(context, 8, 8, ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_KELVANE)));
            ::EndPaint(dialog, &paint);
            return FALSE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}
