// The notification-area icon: the resident program's handle when its window is hidden. Its texts
// come in UTF-8 and are shown wide, names whole.
#pragma once

#include <windows.h>

#include <string>

void AddTrayIcon(HWND window);
void RemoveTrayIcon();
void SetTrayTip(const std::string& tip);
// A balloon notification from the icon; the shell hides it after a few seconds.
void ShowTrayBalloon(const std::string& title, const std::string& text);
