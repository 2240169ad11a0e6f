// The job the worker runs, shown on the job list's first line from its start to its end, with its
// progress drawn in that line and told by the tray icon's tip. The waiting jobs follow it: queue
// job i is on line i + RunningLines().
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "jobs/Worker.h"

struct TMessage;

struct TRunningJob {
    TJob Job;
    int Level = 1;
    int Levels = 1;
    int Permille = 0;  // of the current level

    // The whole job's share done, in percent: the levels before this one count as done.
    int Percent() const;
};

int RunningLines();
// The worker has taken job: it leaves the queue's lines for the first one.
void ShowRunning(const TJob& job);
// The running job has ended: its line goes.
void EndRunning();
// WM_JOBPROGRESS: only the running line is repainted, and the tip changes with the percentage.
void OnJobProgress(HWND window, TMessage& message);
// The tip for now: the running job's percentage, else what the failures say.
void RefreshTrayTip();
// The running line's second row: the bar, the level of a nested path ("2/3") and the destination.
void DrawRunning(HDC dc, const RECT& row, const TRunningJob& running);
