// The resident program's life: single instance, the drop handler registered exactly while it
// runs, the message loop, and the way out.
#pragma once

#include <windows.h>

#include <string>

#include "app/AppState.h"

// Owned by the running program from its start to its very end, after its drop handler is gone.
constexpr char kInstanceMutexName[] = "Kelvane";
// Exists while a program quits; a start that finds it waits up to kQuittingWaitMs for that end.
constexpr char kQuittingEventName[] = "Kelvane.Quitting";
constexpr DWORD kQuittingWaitMs = 30000;

// The whole program: start-up, message loop and clean-up. Always 0. browsed: a path to show in the
// browser, or empty; a start with one while the program runs hands it over and ends.
int RunResident(const std::wstring& browsed);
// Asks the running program to show path in its browser.
void HandToRunning(const std::wstring& path);

// Whether this start is the program's one instance: it then owns mutex until it ends.
bool TakeInstance(UniqueHandle& mutex);
bool CallServerRegistration(bool registering);
// The program's last step: the instance is let go, the queue file closed before, so that a start
// that takes the instance finds the file free.
void LetInstanceGo();
void RunMessageLoop();
// The user's exit. With jobs waiting it asks first: No sets the result to -1 and changes nothing;
// Yes drops them, and nothing is kept for the next start.
void ExitResident(HWND window, TMessage& message);
// The exit path without asking, the queue kept for the next start, the running job too should the
// exit have to end it: an upgrade's, which starts the new program at once.
void QuitKeepingJobs(HWND window);
// The window is going away: the exit path without asking.
void OnDestroy(HWND window, TMessage& message);
// Windows is ending the session: nothing else of the exit path will run.
void OnEndSession(HWND window, TMessage& message);
