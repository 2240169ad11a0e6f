// The toolbar along the top of the main window, and its tooltips.
#pragma once

#include <windows.h>

#include "app/AppState.h"

// With the image strip and button size for the DPI.
HWND CreateToolbar(HWND window, int dpi);
void OnNotify(HWND window, TMessage& message);
// The tooltip of a toolbar command, or null for a separator or an unknown id.
const char* ToolTipText(UINT_PTR command);
