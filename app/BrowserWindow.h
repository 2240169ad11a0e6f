// The archive browser: a second top-level window that shows what an archive holds, at any depth,
// through the plug-ins, and takes out what the user picks as jobs of the main window's queue. It
// lists on a thread and through hosts of its own, so it answers at every moment.
#pragma once

#include <windows.h>

#include <string>

#include "app/AppState.h"

constexpr char kBrowserClassName[] = "KelvaneBrowser";
// A WM_COPYDATA of this kind asks the running program to show this path (UTF-16) in the browser.
constexpr ULONG_PTR kOpenInBrowserData = 0x4B4C4252;  // "KLBR"

bool RegisterBrowserClass();
// Shows the browser, made on first use, at path (UTF-8; an archive, or a place inside one).
void BrowsePath(const std::string& path);
// A path another start handed over (WM_COPYDATA) or this one was given; nothing when it names
// nothing whole.
void BrowseHandedPath(const std::wstring& path);
void OnCopyData(HWND window, TMessage& message);
// Asks for an archive with the file dialog, then browses it.
void OpenArchive(HWND owner);
// Whether msg is for the browser and was taken by its keys.
bool TranslateBrowserKeys(MSG& msg);
