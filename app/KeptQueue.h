// The queue kept on disk, as the program meets it: opened with the window, its jobs back in the
// list at the start (the mode decides whether they run), and the user told once when the file was
// damaged or can no longer be written.
#pragma once

#include <windows.h>

#include <memory>

#include "jobs/ExtractQueue.h"

// The queue that App().QueueFile keeps; in memory alone when that is empty.
std::unique_ptr<TExtractQueue> OpenQueue();
// Shows the jobs the queue started with and says what became of a damaged file. Continuous, they run.
void ShowKeptJobs(HWND window);
