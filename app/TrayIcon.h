// The notification-area icon: the resident program's handle when its window is hidden.
#pragma once

#include <windows.h>

void AddTrayIcon(HWND window);
void RemoveTrayIcon();
