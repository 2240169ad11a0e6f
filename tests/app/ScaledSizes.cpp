// Prints the sizes that follow the DPI, for tests/tools/scaled_sizes.sh to compare between prefixes:
//   "item HEIGHT button WIDTH HEIGHT dpi DPI"
// and exits 1, saying which, when a text of the about box is wider than its control.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "app/AboutBox.h"
#include "app/AppState.h"
#include "app/Identifiers.h"
#include "app/MainWindow.h"
#include "app/TrayIcon.h"

namespace {

BOOL CALLBACK CheckStatic(HWND control, LPARAM failures) {
    char className[32] = {};
    ::GetClassNameA(control, className, sizeof className);
    if (lstrcmpiA(className, "Static") != 0)
        return TRUE;
    char text[256] = {};
    const int length = ::GetWindowTextA(control, text, sizeof text);
    WindowDC context(control);
    const HGDIOBJ old = ::SelectObject(context.Get(), reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0)));
    SIZE size = {};
    ::GetTextExtentPoint32A(context.Get(), text, length, &size);
    ::SelectObject(context.Get(), old);
    RECT client = {};
    ::GetClientRect(control, &client);
    if (size.cx > client.right) {
        std::printf("about box: \"%s\" is %ld px wide in a control of %ld\n", text, size.cx, client.right);
        ++*reinterpret_cast<int*>(failures);
    }
    return TRUE;
}

}  // namespace

int main() {
    if (!RegisterMainClass())
        return 2;
    HWND window = CreateMainWindow();
    if (!window)
        return 2;
    App().MainWindow = window;
    const LRESULT item = ::SendMessageA(App().JobList, LB_GETITEMHEIGHT, 0, 0);
    const LRESULT button = ::SendMessageA(App().Toolbar, TB_GETBUTTONSIZE, 0, 0);
    std::printf("item %ld button %d %d dpi %d\n", static_cast<long>(item), LOWORD(button), HIWORD(button), App().Dpi);

    int failures = 0;
    HWND about = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), window,
                                      AboutDialogProc, 0);
    if (!about)
        return 2;
    ::EnumChildWindows(about, CheckStatic, reinterpret_cast<LPARAM>(&failures));
    ::DestroyWindow(about);
    RemoveTrayIcon();
    ::DestroyWindow(window);
    return failures == 0 ? 0 : 1;
}
