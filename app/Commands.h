// The user's commands, from the menu, the toolbar, the keys, the tray pop-ups and the system menu.
#pragma once

#include <windows.h>

#include "app/AppState.h"

void OnCommand(HWND window, TMessage& message);
void OnTrayNotify(HWND window, TMessage& message);
// A menu about to open shows what may have changed outside the program (the installer's Run value).
void OnInitMenuPopup(HWND window, TMessage& message);
