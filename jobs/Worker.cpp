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

TFinishedJob* FinishedJobOf(LPARAM lParam) {
    return reinterpret_cast<TFinishedJob*>(lParam);
}

bool TWorker::Start(HWND window, TPluginHosts& host, TJob job) {
    bool idle = false;
    if (!Busy_.compare_exchange_strong(idle, true))
        return false;
    // The previous thread has finished its work; its handle can go.
    Wait();
    auto run = std::make_unique<TParam>(TParam{this, window, &host, std::move(job), ++Started_});
    Running_ = run->Number;
    Thread_.Reset(::CreateThread(nullptr, 0, WorkerProc, run.get(), 0, nullptr));
    if (!Thread_) {
        Running_ = 0;
        Busy_ = false;
        return false;
    }
    run.release();
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
    std::unique_ptr<TParam> run(static_cast<TParam*>(raw));
    TWorker& worker = *run->Worker;
    try {
        auto finished = std::make_unique<TFinishedJob>();
        TJobProgress progress(worker, run->Window, run->Number);
        finished->Outcome = run->Host->Extract(run->Job.Source, run->Job.Destination, &progress);
        finished->Job = std::move(run->Job);
        if (::PostMessageA(run->Window, WM_JOBFINISHED, 0, reinterpret_cast<LPARAM>(finished.get())))
            finished.release();
    } catch (...) {
        // Out of memory for the report: the job has ended all the same.
    }
    worker.Running_ = 0;
    worker.Busy_ = false;
    // Free again: the window decides, by its run mode, whether another job follows.
    ::PostMessageA(run->Window, WM_RUNNEXT, 0, 0);
    return 0;
}
