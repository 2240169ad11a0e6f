// The version information box (dialog 1).
#pragma once

#include <windows.h>

void ShowAbout(HWND window);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
