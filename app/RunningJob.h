// The job the worker runs, shown on the job list's first line from its start to its end, with its
// progress drawn in that line and told by the tray icon's tip. The waiting jobs follow it: queue
// job i is on line i + RunningLines().
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "jobs/Worker.h"

struct TMessage;

struct TRunningJob {
    TJob Job;
    uint64_t Number;  // the worker's: only that job's end takes the line
    int Level = 1;
    int Levels = 1;
    int Permille = 0;  // of the current level

    // The whole job's share done, in percent: the levels before this one count as done.
    int Percent() const;
};

int RunningLines();
// The worker has taken job: it leaves the queue's lines for the first one.
void ShowRunning(HWND window, const TJob& job, uint64_t number);
// That job has ended: its line goes, if the line is still its own.
void EndRunning(HWND window, uint64_t number);
// WM_JOBFINISHED: the job it names has ended; its failure, if any, is told through the tray icon.
void OnJobFinished(HWND window, TMessage& message);
// Ends the lines of every job that has ended without its WM_JOBFINISHED (the post was lost): looked
// for now and then while a job runs, and before the next one starts.
void TakeFinishedJobs(HWND window);
// WM_JOBPROGRESS: only the running line is repainted, and the tip changes with the percentage.
void OnJobProgress(HWND window, TMessage& message);
// The tip for now: the running job's percentage, else what the failures say.
void RefreshTrayTip();
// The running line's second row: the bar, then `text`: the level of a nested path ("2/3") and the
// destination, as RunningText gives them.
std::wstring RunningText(const TRunningJob& running);
void DrawRunning(HDC dc, const RECT& row, const TRunningJob& running, const std::wstring& text);
