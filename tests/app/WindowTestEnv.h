// Shared set-up of the tests that create the main window in process.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

// Clears the settings and Susie's plug-in folder, registers the window class once.
void StartCleanWindowTest();
// Destroys the window and everything the window made, and clears the settings again.
void EndWindowTest();
// CreateMainWindow, with the handle stored as the program's entry stores it.
HWND CreateTestMainWindow();

std::string WindowText(HWND window);
bool MenuEnabled(HWND window, UINT command);
bool ButtonEnabled(UINT command);
// Waits (at most 10 s, or until stop) for a message box with this caption, closes it with OK and
// returns its text.
std::string CloseMessageBox(const char* caption, const std::atomic<bool>& stop);

// Dispatches this thread's messages until done() holds; a failure after 10 s.
void PumpUntil(const std::function<bool()>& done);
// Dispatches the messages already waiting.
void PumpPending();
