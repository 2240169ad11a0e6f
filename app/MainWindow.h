// The resident program's one top-level window: class, creation from the settings, the dispatch
// table of its window procedure, and the enabled states of its commands.
#pragma once

#include <windows.h>

#include "app/AppState.h"

constexpr char kMainClassName[] = "Kelvane";

bool RegisterMainClass();
HWND CreateMainWindow();
LRESULT CALLBACK MainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

void OnCreate(HWND window, TMessage& message);
void OnDpiChanged(HWND window, TMessage& message);
void OnGetMinMaxInfo(HWND window, TMessage& message);
void OnSize(HWND window, TMessage& message);
void OnClose(HWND window, TMessage& message);
// Lays the toolbar and the job list out over the client area as it is now.
void FitToClient(HWND window);

void UpdateCommandStates(HWND window);
void HideMainWindow(HWND window);
// Shows the window in the state it was left in.
void ShowMainWindow(HWND window);
void AddExitToSystemMenu(HWND window);
