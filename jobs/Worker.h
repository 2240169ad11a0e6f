// Runs one extraction at a time on a thread of its own and hands each finished job's outcome to a
// window by message. It knows nothing of that window: the window owns the queue and shows it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "base/Owned.h"
#include "engine/ExtractOutcome.h"

class TPluginHost;

constexpr uint8_t kContinuous = 0;
constexpr uint8_t kPaused = 1;

// Posted to the window: run the next job, if the run mode is continuous and no job runs.
constexpr UINT WM_RUNNEXT = WM_USER + 2;
// Posted to the window when a job has ended; LPARAM is a TFinishedJob* that the window deletes.
constexpr UINT WM_JOBFINISHED = WM_USER + 6;
// Posted to the window while a job runs: WPARAM the permille done of the current level, LPARAM
// MAKELPARAM(level, levels).
constexpr UINT WM_JOBPROGRESS = WM_USER + 7;
static_assert(WM_USER == 1024 && WM_RUNNEXT == 1026);

struct TJob {
    std::string Source;
    std::string Destination;
};

struct TFinishedJob {
    TJob Job;
    TExtractOutcome Outcome;
};

// Takes the finished job that WM_JOBFINISHED carries; null for a message without one.
TFinishedJob* FinishedJobOf(LPARAM lParam);

class TWorker {
public:
    TWorker() = default;
    TWorker(const TWorker&) = delete;
    TWorker& operator=(const TWorker&) = delete;
    ~TWorker() { Wait(); }

    std::atomic<uint8_t> RunMode{kContinuous};
    bool Busy() const { return Busy_; }
    // Asks the running job to stop.
    void CancelRunning();

    // Extracts the job on a new thread, which tells window when it ends (WM_JOBFINISHED, then
    // WM_RUNNEXT in continuous mode). False, and nothing started, when a job runs already or no
    // thread could be made.
    bool Start(HWND window, TPluginHost& host, TJob job);
    // Until the last thread started has ended, or the time is up; whether it ended.
    bool WaitFor(DWORD ms);
    // Until the last thread started has ended.
    void Wait();

private:
    // A worker thread's own copy of its job, which the thread frees.
    struct TParam;
    static DWORD WINAPI WorkerProc(LPVOID run);

    std::atomic<bool> Busy_{false};
    UniqueHandle Thread_;  // kept so that the exit path can wait for it
};

static_assert(decltype(TWorker::RunMode)::is_always_lock_free && sizeof(TWorker::RunMode) == 1);

// Runs a job on the calling thread; the host still takes one extraction at a time.
TExtractOutcome RunJobHere(TPluginHost& host, const TJob& job);
