#include "jobs/Worker.h"

#include <memory>

#include "jobs/PluginHost.h"

struct TWorker::TParam {
    TWorker* Worker;
    HWND Window;
    TPluginHost* Host;
    TJob Job;
};

TFinishedJob* FinishedJobOf(LPARAM lParam) {
    return reinterpret_cast<TFinishedJob*>(lParam);
}

TExtractOutcome RunJobHere(TPluginHost& host, const TJob& job) {
    return host.Extract(job.Source, job.Destination);
}

bool TWorker::Start(HWND window, TPluginHost& host, TJob job) {
    bool idle = false;
    if (!Busy_.compare_exchange_strong(idle, true))
        return false;
    // The previous thread has finished its work; its handle can go.
    Wait();
    auto run = std::make_unique<TParam>(TParam{this, window, &host, std::move(job)});
    Thread_.Reset(::CreateThread(nullptr, 0, WorkerProc, run.get(), 0, nullptr));
    if (!Thread_) {
        Busy_ = false;
        return false;
    }
    run.release();
    return true;
}

void TWorker::CancelRunning() {}

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
        finished->Outcome = RunJobHere(*run->Host, run->Job);
        finished->Job = std::move(run->Job);
        if (::PostMessageA(run->Window, WM_JOBFINISHED, 0, reinterpret_cast<LPARAM>(finished.get())))
            finished.release();
    } catch (...) {
        // Out of memory for the report: the job has ended all the same.
    }
    worker.Busy_ = false;
    if (worker.RunMode == kContinuous)
        ::PostMessageA(run->Window, WM_RUNNEXT, 0, 0);
    return 0;
}
