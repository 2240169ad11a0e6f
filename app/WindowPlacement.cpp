#include "app/WindowPlacement.h"

#include <algorithm>

#include "app/Settings.h"

int SavedShowCommand(int windowState) {
    switch (windowState) {
        case SW_SHOWMAXIMIZED:
            return SW_SHOWMAXIMIZED;
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE:
            // Back where it was, without taking the focus from what the user does at logon.
            return SW_SHOWMINNOACTIVE;
        default:
            return SW_SHOWNORMAL;
    }
}

void RestorePlacement(HWND window, const TSettings& settings) {
    if (settings.Left == CW_USEDEFAULT || settings.Top == CW_USEDEFAULT || settings.Width == CW_USEDEFAULT ||
        settings.Height == CW_USEDEFAULT)
        return;
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (!::GetWindowPlacement(window, &placement))
        return;
    placement.flags = 0;
    placement.showCmd = SW_HIDE;  // shown afterwards, as the settings say
    placement.rcNormalPosition = {settings.Left, settings.Top, settings.Left + settings.Width,
                                  settings.Top + settings.Height};
    ::SetWindowPlacement(window, &placement);
    RECT onScreen = {};
    ::GetWindowRect(window, &onScreen);
    if (::MonitorFromRect(&onScreen, MONITOR_DEFAULTTONULL))
        return;
    MONITORINFO primary = {};
    primary.cbSize = sizeof primary;
    if (!::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary))
        return;
    const RECT& work = primary.rcWork;
    const int width = std::min<int>(settings.Width, work.right - work.left);
    const int height = std::min<int>(settings.Height, work.bottom - work.top);
    ::SetWindowPos(window, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}
