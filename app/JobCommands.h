// Runs the queue one job at a time: in continuous mode on a worker thread, chained by WM_RUNNEXT;
// in paused mode by hand, through the job commands.
#pragma once

#include <windows.h>

#include <string>

#include "app/AppState.h"

// A worker's own copy of one job; the worker frees it.
struct TParam {
    std::string Source;
    std::string Destination;
};

void RunNextJob(HWND window, TMessage& message);
DWORD WINAPI WorkerProc(LPVOID param);
// Waits until the worker thread, if one was started, has ended.
void WaitForWorker();

void StartIfContinuous(HWND window);
void UnlockDestinationChange(HWND window);
void ExtractSelected(HWND window);
void SetContinuous(HWND window);
void SetPaused(HWND window);
void CancelAll(HWND window);
void DeleteSelected(HWND window);
