// Shared set-up of the tests that create the main window in process.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

// Clears the settings, Susie's plug-in folder and the kept queue, registers the window class once.
void StartCleanWindowTest();
// Deletes the file the program keeps its queue in, and a damaged one set aside.
void DeleteKeptQueue();
// Destroys the window and everything the window made, and clears the settings again.
void EndWindowTest();
// CreateMainWindow, with the handle stored as the program's entry stores it.
HWND CreateTestMainWindow();

std::string WindowText(HWND window);
std::wstring WideWindowText(HWND window);
// A wide text of the tray record in the code page the tests' own texts are compiled in.
std::string TrayText(const wchar_t* field);
// The balloon's title as shown, without the blanks it gets under Wine.
std::string BalloonTitleShown();
bool MenuEnabled(HWND window, UINT command);
bool ButtonEnabled(UINT command);
// Runs action on this thread while another thread waits (10 s at most) for a visible window of this
// class and caption and hands it to onShown. Whether the window came.
bool WhileShown(const char* windowClass, const char* caption, const std::function<void(HWND)>& onShown,
                const std::function<void()>& action);
// The text of a message box.
std::string MessageBoxText(HWND box);

// Drops these paths on the window, as Explorer would.
void DropPaths(HWND window, const std::vector<std::string>& paths);
// Dispatches this thread's messages until done() holds; a failure after 10 s.
void PumpUntil(const std::function<bool()>& done);
// Dispatches the messages already waiting.
void PumpPending();
