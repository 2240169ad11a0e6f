// Picks a folder with the shell's folder browser: the destination, or the plug-ins' folder.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// The folder picked, starting at current (UTF-8); none when the user canceled, or picked one whose
// name no text holds whole.
std::optional<std::string> BrowseForFolder(HWND owner, const char* title, const std::string& current);
void BrowseDestination(HWND window);
// The browser's callback: `data` is the current folder, wide.
int CALLBACK BrowseCallback(HWND dialog, UINT msg, LPARAM lParam, LPARAM data);
