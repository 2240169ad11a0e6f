// The toolbar along the top of the main window, and its tooltips.
#pragma once

#include <windows.h>

#include "app/AppState.h"

HWND CreateToolbar(HWND window);
void OnNotify(HWND window, TMessage& message);
// The tooltip of a toolbar command, or null for a separator or an unknown id.
const char* ToolTipText(UINT_PTR command);
