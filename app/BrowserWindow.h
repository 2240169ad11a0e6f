// The archive browser: a second top-level window that shows what an archive holds, at any depth,
// through the plug-ins, and takes out what the user picks as jobs of the main window's queue. It
// lists on a thread and through hosts of its own, so it answers at every moment.
#pragma once

#include <windows.h>

#include <string>

constexpr char kBrowserClassName[] = "KelvaneBrowser";
// A WM_COPYDATA of this kind asks the running program to show this path (UTF-16) in the browser.
constexpr ULONG_PTR kOpenInBrowserData = 0x4B4C4252;  // "KLBR"

bool RegisterBrowserClass();
// Shows the browser, made on first use, at path (UTF-8; an archive, or a place inside one).
void BrowsePath(const std::string& path);
// Asks for an archive with the file dialog, then browses it.
void OpenArchive(HWND owner);
// Whether msg is for the browser and was taken by its keys.
bool TranslateBrowserKeys(MSG& msg);
