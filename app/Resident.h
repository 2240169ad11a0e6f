// The resident program's life: single instance, the drop handler registered exactly while it
// runs, the message loop, and the way out.
#pragma once

#include <windows.h>

#include "app/AppState.h"

constexpr char kInstanceMutexName[] = "Kelvane";

// The whole program: start-up, message loop and clean-up. Always 0.
int RunResident();

bool CallServerRegistration(bool registering);
void RunMessageLoop();
// The exit path. With jobs waiting it asks first; No sets the result to -1 and changes nothing.
void ExitResident(HWND window, TMessage& message);
// The window is going away: the exit path without asking.
void OnDestroy(HWND window, TMessage& message);
// Windows is ending the session: nothing else of the exit path will run.
void OnEndSession(HWND window, TMessage& message);
