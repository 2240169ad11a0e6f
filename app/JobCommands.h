// The queue as the window runs it: in continuous mode one job after another on the worker, chained
// by WM_RUNNEXT; in paused mode by hand. Every change of the queue changes the job list with it.
#pragma once

#include <windows.h>

#include "app/AppState.h"

// WM_RUNNEXT: the front job starts, if the run mode or the user's choice says so and neither a job
// runs nor a line waits for its end. The message carries nothing: any process can post it.
void RunNextJob(HWND window, TMessage& message);
// Waits until the worker thread, if one was started, has ended: a few seconds at most, then the
// host is ended under the job, so that the program always quits.
void WaitForWorker();

void StartIfContinuous(HWND window);
void UnlockDestinationChange(HWND window);
void ExtractSelected(HWND window);
void SetContinuous(HWND window);
void SetPaused(HWND window);
void CancelAll(HWND window);
// Stops the running job: through the plug-in when it listens, else by ending its host 2 s later.
void CancelRunning(HWND window);
void DeleteSelected(HWND window);
