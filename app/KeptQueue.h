// The queue kept on disk, as the program meets it: opened with the window, its jobs back in the
// list at the start (the mode decides whether they run, held jobs aside), and the user told once
// when the file was damaged, is of a newer version, or can no longer be written.
#pragma once

#include <windows.h>

#include <memory>

#include "jobs/ExtractQueue.h"

// The queue that App().QueueFile keeps; in memory alone when that is empty.
std::unique_ptr<TExtractQueue> OpenQueue();
// Shows the jobs the queue started with and says what became of a damaged file, or which jobs are
// held and why. Continuous, the others run.
void ShowKeptJobs(HWND window);
// What is written and not yet flushed reaches the disk within a second, whatever comes after: a
// job's end in paused mode, or before a long job.
void FlushSoon(HWND window);
// IDT_FLUSH.
void FlushNow(HWND window);
