#include "jobs/Worker.h"

#include <memory>

#include "engine/Archive.h"

struct TWorker::TRun {
    TWorker* Worker;
    HWND Window;
    TPluginList* Plugins;
    TJob Job;
};

TFinishedJob* FinishedJobOf(LPARAM lParam) {
    return reinterpret_cast<TFinishedJob*>(lParam);
}

TExtractOutcome RunJobHere(TPluginList& plugins, const TJob& job) {
    return ExtractPathOutcome(plugins, job.Source, job.Destination);
}

bool TWorker::Start(HWND window, TPluginList& plugins, TJob job) {
    bool idle = false;
    if (!Busy_.compare_exchange_strong(idle, true))
        return false;
    // The previous thread has finished its work; its handle can go.
    Wait();
    auto run = std::make_unique<TRun>(TRun{this, window, &plugins, std::move(job)});
    Thread_.Reset(::CreateThread(nullptr, 0, ThreadProc, run.get(), 0, nullptr));
    if (!Thread_) {
        Busy_ = false;
        return false;
    }
    run.release();
    return true;
}

void TWorker::Wait() {
    if (Thread_)
        ::WaitForSingleObject(Thread_.Get(), INFINITE);
}

DWORD WINAPI TWorker::ThreadProc(LPVOID raw) {
    std::unique_ptr<TRun> run(static_cast<TRun*>(raw));
    TWorker& worker = *run->Worker;
    try {
        auto finished = std::make_unique<TFinishedJob>();
        finished->Outcome = RunJobHere(*run->Plugins, run->Job);
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
