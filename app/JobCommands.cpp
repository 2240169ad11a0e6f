#include "app/JobCommands.h"

#include <commctrl.h>

#include <memory>

#include "app/FailureNotice.h"
#include "app/Identifiers.h"
#include "app/JobList.h"
#include "app/KeptQueue.h"
#include "app/MainWindow.h"
#include "app/RunningJob.h"
#include "jobs/Worker.h"

namespace {

// How long the exit waits for a running job before it ends the host.
constexpr DWORD kExitWaitMs = 3000;

void EnableDestinationChange(HWND window, bool enabled) {
    ::EnableMenuItem(::GetMenu(window), IDM_CHANGEDEST, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    ::SendMessageA(App().Toolbar, TB_ENABLEBUTTON, IDM_CHANGEDEST, MAKELPARAM(enabled ? 1 : 0, 0));
}

// Job index has left the queue; its line goes too, so line i + RunningLines() always shows job i.
void RemoveLine(int index) {
    // The job extract-selected put in front is gone: none was chosen any more.
    if (index == 0)
        App().SelectedRunsNext = false;
    ::SendMessageA(App().JobList, LB_DELETESTRING, index + RunningLines(), 0);
}

// The queue goes first: an invalid index fails there, before the list has changed.
void RemoveJob(int index) {
    App().Queue->Delete(index);
    RemoveLine(index);
}

int SelectedLine() {
    return static_cast<int>(::SendMessageA(App().JobList, LB_GETCURSEL, 0, 0));
}

// The queue index of the selected line; -1 for none and for the running job's line.
int SelectedJob() {
    const int line = SelectedLine();
    return line < RunningLines() ? -1 : line - RunningLines();
}

// The worker takes job index; it leaves the waiting jobs for the running line. A job that found no
// thread leaves the queue all the same, as it always has.
void StartJob(HWND window, int index) {
    AppState& app = App();
    TExtractJob taken = app.Queue->Take(index);
    const TJob job = {std::move(taken.Source), std::move(taken.Destination), taken.Id};
    RemoveLine(index);
    if (const uint64_t number = app.Worker.Start(window, *app.Host, job))
        ShowRunning(window, job, number);
    else
        app.Queue->Ended(job.Id);
    FlushSoon(window);
}

}  // namespace

void RunNextJob(HWND window, TMessage&) {
    AppState& app = App();
    TakeFinishedJobs(window);
    // A job chosen by extract-selected runs as soon as the worker is free, in either mode.
    if (app.Worker.RunMode != kContinuous && !app.SelectedRunsNext)
        return;
    // The job extract-selected chose runs, held or not; the continuous mode passes held jobs by.
    const int next = app.Queue->Count() <= 0 ? -1 : app.SelectedRunsNext ? 0 : app.Queue->NextToRun();
    if (next < 0) {
        UnlockDestinationChange(window);
        // The run is over: the last ends reach the disk now.
        app.Queue->Flush();
        return;
    }
    // A line that waits for its job's end waits for the worker's own WM_RUNNEXT, which follows it.
    if (app.Worker.Busy() || app.Running)
        return;
    MSG pending;
    while (::PeekMessageA(&pending, window, WM_RUNNEXT, WM_RUNNEXT, PM_REMOVE)) {
    }
    app.SelectedRunsNext = false;
    StartJob(window, next);
}

void WaitForWorker() {
    AppState& app = App();
    if (app.Worker.WaitFor(kExitWaitMs)) {
        // Ended in time, their ends not yet taken: they are done with. A job cut short below is
        // kept, to run again at the next start.
        for (const TFinishedJob& finished : app.Worker.TakeAllFinished())
            if (app.Queue)
                app.Queue->Ended(finished.Job.Id);
        return;
    }
    if (app.Host)
        app.Host->Terminate();
    app.Worker.Wait();
}

void StartIfContinuous(HWND window) {
    if (App().Worker.RunMode != kContinuous)
        return;
    EnableDestinationChange(window, false);
    ::PostMessageA(window, WM_RUNNEXT, 0, 0);
}

void UnlockDestinationChange(HWND window) {
    EnableDestinationChange(window, true);
}

void ExtractSelected(HWND window) {
    const int index = SelectedJob();
    if (index < 0)
        return;
    AppState& app = App();
    // Only the worker extracts, one job at a time, and the window stays free meanwhile. A job that
    // runs already finishes first; the selected one goes to the front and runs next, in any mode.
    if (!app.Worker.Busy()) {
        StartJob(window, index);
        return;
    }
    app.Queue->MoveToFront(index);
    app.SelectedRunsNext = true;
    ::InvalidateRect(app.JobList, nullptr, FALSE);
}

void CancelRunning(HWND) {
    App().Worker.CancelRunning();
}

void SetContinuous(HWND window) {
    App().Worker.RunMode = kContinuous;
    UpdateCommandStates(window);
    ::PostMessageA(window, WM_RUNNEXT, 0, 0);
}

void SetPaused(HWND window) {
    App().Worker.RunMode = kPaused;
    UpdateCommandStates(window);
}

void CancelAll(HWND) {
    AppState& app = App();
    // One step for the queue and one for the list, however many jobs there are.
    app.Queue->Clear();
    app.SelectedRunsNext = false;
    ClearJobLines(app.JobList);
    // The running job's line stays until the job has stopped.
    if (app.Running)
        ::SendMessageA(app.JobList, LB_INSERTSTRING, 0, 0);
    app.Worker.CancelRunning();
}

void DeleteSelected(HWND) {
    const int line = SelectedLine();
    if (line >= 0 && line < RunningLines())
        App().Worker.CancelRunning();
    else if (line >= 0)
        RemoveJob(line - RunningLines());
}
