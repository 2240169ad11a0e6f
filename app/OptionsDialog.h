// The options dialog (dialog 2): the plug-ins' folder and every plug-in file in it, with what became of
// it, a check box that switches it on or off in Kelvane's own settings, and its own settings dialog.
// What a plug-in is, is asked on threads of the dialog's own, of hosts of its own: the dialog answers
// at once, and its rows fill in as the answers come.
#pragma once

#include <windows.h>

void ShowOptions(HWND window);
INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
