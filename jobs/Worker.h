// Runs one extraction at a time on a thread of its own and hands each finished job's outcome to a
// window by message. It knows nothing of that window: the window owns the queue and shows it. The
// same thread starts the plug-in hosts ahead of jobs, so that a warm-up never races a job.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/Owned.h"
#include "engine/ExtractOutcome.h"

class TPluginHosts;

constexpr uint8_t kContinuous = 0;
constexpr uint8_t kPaused = 1;

// Posted to the window, also by the worker once it is free: run the next job, if the run mode is
// continuous (or the window chose that job to run next) and no job runs.
constexpr UINT WM_RUNNEXT = WM_USER + 2;
// Posted to the window when a job has ended; WPARAM is the job's number, for TakeFinished. Any
// process on the desktop can post it: it carries nothing that is used unchecked.
constexpr UINT WM_JOBFINISHED = WM_USER + 6;
// Posted to the window while a job runs, when its progress has changed, at most about ten times a
// second and always before its WM_JOBFINISHED: WPARAM is the current level's permille (0 to 1000),
// LPARAM is MAKELPARAM(level, levels), the level from 1.
constexpr UINT WM_JOBPROGRESS = WM_USER + 7;
static_assert(WM_USER == 1024 && WM_RUNNEXT == 1026);

struct TJob {
    std::string Source;
    std::string Destination;
    uint64_t Id = 0;  // the queue's, handed back with the finished job as it came
};

struct TFinishedJob {
    uint64_t Number;
    TJob Job;
    TExtractOutcome Outcome;
};

class TWorker {
public:
    TWorker();
    TWorker(const TWorker&) = delete;
    TWorker& operator=(const TWorker&) = delete;
    ~TWorker();

    std::atomic<uint8_t> RunMode{kContinuous};
    bool Busy() const { return Busy_; }

    // Extracts the job on a new thread, which tells window how far it has come (WM_JOBPROGRESS)
    // and when it ends (WM_JOBFINISHED, then WM_RUNNEXT once it is free); the job's number. 0, and
    // nothing started, when a job runs already or no thread could be made. While the hosts warm up,
    // the job waits on that thread for their start as for its own, its cancel heard, and runs there.
    // Every job started ends as a finished job, also when its extraction failed on the way.
    uint64_t Start(HWND window, TPluginHosts& host, TJob job);
    // The finished job that WM_JOBFINISHED names; none when that job has not finished, was taken
    // already, or was never started.
    std::optional<TFinishedJob> TakeFinished(WPARAM number);
    // Every finished job not yet taken: those whose WM_JOBFINISHED was lost on the way.
    std::vector<TFinishedJob> TakeAllFinished();
    // Starts the hosts on a new thread, so that the next job finds them ready. Asked while a warm-up
    // runs, that one looks at the hosts once more when done (one may have gone meanwhile). False,
    // and nothing started, when a job runs (its hosts are starting or ready) or no thread could be
    // made. Start, WarmUp and Wait are called from one thread.
    bool WarmUp(TPluginHosts& hosts);
    // Asks the running job, if one runs, to stop: its plug-in is told at its next callback, and
    // its host is ended when the job has not ended 2 s later. The job then finishes as canceled,
    // having left nothing behind. A later job is never touched. Safe from any thread.
    void CancelRunning();
    // Until the last thread started has ended, or the time is up; whether it ended.
    bool WaitFor(DWORD ms);
    // Until the last thread started has ended.
    void Wait();

private:
    // A worker thread's own copy of its job, which the thread frees.
    struct TParam;
    class TJobProgress;
    class TWaiterProgress;
    static DWORD WINAPI WorkerProc(LPVOID run);
    static DWORD WINAPI WarmUpProc(LPVOID run);
    // Extracts the job, tells the window and frees the worker; hostsEnded: the hosts' start was
    // ended under it, and the job ends as canceled.
    static void RunJob(std::unique_ptr<TParam> run, bool hostsEnded);

    std::atomic<bool> Busy_{false};
    uint64_t Started_ = 0;                // jobs started so far; each one's number
    std::atomic<uint64_t> Running_{0};    // the running job's number; 0 when none runs
    std::atomic<uint64_t> CancelJob_{0};  // the last job asked to stop
    UniqueHandle Thread_;                 // kept so that the exit path can wait for it
    // Whether a warm-up runs, and the job that waits for it; the warm-up's thread takes the job.
    std::mutex Warm_;
    bool Warming_ = false;
    bool WarmAgain_ = false;
    std::unique_ptr<TParam> Waiting_;
    // Ended jobs until the window takes them; room for each is made when it starts.
    std::mutex FinishedLock_;
    std::vector<TFinishedJob> Finished_;
};

static_assert(decltype(TWorker::RunMode)::is_always_lock_free && sizeof(TWorker::RunMode) == 1);
