// Where the main window was: its state and its normal rectangle, saved and restored alike in workspace
// coordinates (WINDOWPLACEMENT), so that a taskbar at the top or the left moves nothing from one start
// to the next.
#pragma once

#include <windows.h>

struct TSettings;

// The saved state as a show command: SW_SHOWNORMAL, SW_SHOWMAXIMIZED or SW_SHOWMINNOACTIVE.
int SavedShowCommand(int windowState);
// Puts the hidden window where it was saved; on a monitor that is gone, or off every screen, on the
// primary monitor. Nothing saved leaves the system's choice.
void RestorePlacement(HWND window, const TSettings& settings);
