// Picks the destination folder with the shell's folder browser.
#pragma once

#include <windows.h>

void BrowseDestination(HWND window);
// The browser's callback: `data` is the current folder, wide.
int CALLBACK BrowseCallback(HWND dialog, UINT msg, LPARAM lParam, LPARAM data);
