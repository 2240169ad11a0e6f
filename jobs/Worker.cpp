#include "jobs/Worker.h"

#include <memory>

#include "engine/Progress.h"
#include "host/Channel.h"
#include "jobs/PluginHosts.h"

struct TWorker::TParam {
    TWorker* Worker;
    HWND Window;
    TPluginHosts* Host;
    TJob Job;
    uint64_t Number;
};

// One job's progress, told to the window when it changes; canceled once CancelRunning named this job.
class TWorker::TJobProgress final : public TProgress {
public:
    TJobProgress(const TWorker& worker, HWND window, uint64_t job) : Worker(worker), Window(window), Job(job) {}

    void Report(int level, int levels, double fraction) override {
        const WPARAM permille = PermilleOf(fraction);
        const LPARAM where = MAKELPARAM(level, levels);
        if (permille == Permille && where == Where)
            return;
        Permille = permille;
        Where = where;
        ::PostMessageA(Window, WM_JOBPROGRESS, permille, where);
    }
    bool Canceled() const override { return Worker.CancelJob_ == Job; }

private:
    const TWorker& Worker;
    HWND Window;
    uint64_t Job;
    WPARAM Permille = 0;
    LPARAM Where = 0;
};

// A warm-up's: canceled once the job that waits for it is, so that a cancel reaches a start that
// hangs as it would the job's own. Alone, a warm-up hears no cancel: no job of the user's is at stake.
class TWorker::TWaiterProgress final : public TProgress {
public:
    explicit TWaiterProgress(const TWorker& worker) : Worker(worker) {}
    void Report(int, int, double) override {}
    bool Canceled() const override {
        const uint64_t running = Worker.Running_;
        return running && Worker.CancelJob_ == running;
    }

private:
    const TWorker& Worker;
};

TWorker::TWorker() = default;

TWorker::~TWorker() {
    Wait();
}

uint64_t TWorker::Start(HWND window, TPluginHosts& host, TJob job) {
    if (Busy_)
        return 0;
    auto run = std::make_unique<TParam>(TParam{this, window, &host, std::move(job), Started_ + 1});
    {
        // Made here, where running out of memory stops only the start: the thread that ends the
        // job must be able to leave it without allocating.
        const std::lock_guard<std::mutex> lock(FinishedLock_);
        Finished_.reserve(Finished_.size() + 1);
    }
    bool idle = false;
    if (!Busy_.compare_exchange_strong(idle, true))
        return 0;
    const uint64_t number = ++Started_;
    Running_ = number;
    {
        const std::lock_guard<std::mutex> lock(Warm_);
        if (Warming_) {
            Waiting_ = std::move(run);
            return number;
        }
    }
    // The previous thread has finished its work; its handle can go.
    Wait();
    Thread_.Reset(::CreateThread(nullptr, 0, WorkerProc, run.get(), 0, nullptr));
    if (!Thread_) {
        Running_ = 0;
        Busy_ = false;
        return 0;
    }
    run.release();
    return number;
}

std::optional<TFinishedJob> TWorker::TakeFinished(WPARAM number) {
    const std::lock_guard<std::mutex> lock(FinishedLock_);
    for (auto at = Finished_.begin(); at != Finished_.end(); ++at) {
        if (static_cast<WPARAM>(at->Number) != number)
            continue;
        std::optional<TFinishedJob> taken(std::move(*at));
        Finished_.erase(at);
        return taken;
    }
    return std::nullopt;
}

std::vector<TFinishedJob> TWorker::TakeAllFinished() {
    const std::lock_guard<std::mutex> lock(FinishedLock_);
    std::vector<TFinishedJob> taken;
    taken.swap(Finished_);
    return taken;
}

bool TWorker::WarmUp(TPluginHosts& hosts) {
    if (Busy_)
        return false;
    {
        const std::lock_guard<std::mutex> lock(Warm_);
        if (Warming_) {
            WarmAgain_ = true;
            return true;
        }
        Warming_ = true;
    }
    Wait();
    auto warm = std::make_unique<TParam>(TParam{this, nullptr, &hosts, {}, 0});
    Thread_.Reset(::CreateThread(nullptr, 0, WarmUpProc, warm.get(), 0, nullptr));
    if (!Thread_) {
        const std::lock_guard<std::mutex> lock(Warm_);
        Warming_ = false;
        return false;
    }
    warm.release();
    return true;
}

void TWorker::CancelRunning() {
    // Read once: should the job end meanwhile, the request names it still, and the next job's
    // number differs.
    const uint64_t running = Running_;
    if (running)
        CancelJob_ = running;
}

void TWorker::Wait() {
    WaitFor(INFINITE);
}

bool TWorker::WaitFor(DWORD ms) {
    return !Thread_ || ::WaitForSingleObject(Thread_.Get(), ms) == WAIT_OBJECT_0;
}

DWORD WINAPI TWorker::WorkerProc(LPVOID raw) {
    RunJob(std::unique_ptr<TParam>(static_cast<TParam*>(raw)), false);
    return 0;
}

DWORD WINAPI TWorker::WarmUpProc(LPVOID raw) {
    const std::unique_ptr<TParam> warm(static_cast<TParam*>(raw));
    TWorker& worker = *warm->Worker;
    TWaiterProgress waiter(worker);
    std::unique_ptr<TParam> job;
    bool ended = false;
    for (bool again = true; again;) {
        try {
            ended = !warm->Host->WarmUp(&waiter);
        } catch (...) {
            // Out of memory: the job, if one waits, starts the hosts itself.
        }
        const std::lock_guard<std::mutex> lock(worker.Warm_);
        // A job that waits goes first: it replaces a host that has gone itself.
        again = worker.WarmAgain_ && !ended && !worker.Waiting_;
        worker.WarmAgain_ = false;
        worker.Warming_ = again;
        job = std::move(worker.Waiting_);
    }
    if (job)
        RunJob(std::move(job), ended);
    return 0;
}

void TWorker::RunJob(std::unique_ptr<TParam> run, bool hostsEnded) {
    TWorker& worker = *run->Worker;
    TFinishedJob finished{run->Number, std::move(run->Job), {}};
    try {
        TJobProgress progress(worker, run->Window, run->Number);
        // Ended as the job's own start would have been (the program quits): it never runs.
        if (hostsEnded)
            finished.Outcome.Failure.Kind = TFailureKind::kCanceled;
        else
            finished.Outcome = run->Host->Extract(finished.Job.Source, finished.Job.Destination, &progress);
    } catch (...) {
        // Out of memory, or a fault on the way: the job has ended all the same, and says so.
        finished.Outcome = TExtractOutcome{};
        finished.Outcome.Failure.Kind = TFailureKind::kInternal;
    }
    {
        const std::lock_guard<std::mutex> lock(worker.FinishedLock_);
        worker.Finished_.push_back(std::move(finished));
    }
    ::PostMessageA(run->Window, WM_JOBFINISHED, static_cast<WPARAM>(run->Number), 0);
    worker.Running_ = 0;
    worker.Busy_ = false;
    // Free again: the window decides, by its run mode, whether another job follows.
    ::PostMessageA(run->Window, WM_RUNNEXT, 0, 0);
}
