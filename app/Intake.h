// Jobs enter the queue from files dropped on the main window and from the shell's drop handler, a
// whole drop in one step.
#pragma once

#include <windows.h>

#include "app/AppState.h"

void AcceptDroppedFiles(HWND window, TMessage& message);
void AcceptHandOff(HWND window, TMessage& message);
