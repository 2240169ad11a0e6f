#include "app/JobCommands.h"

#include <commctrl.h>

#include <memory>

#include "app/FailureNotice.h"
#include "app/Identifiers.h"
#include "app/JobList.h"
#include "app/MainWindow.h"
#include "jobs/Worker.h"

namespace {

// A job that has run longer than this may be stuck in a plug-in: cancel-all ends it.
constexpr ULONGLONG kCancelAfterMs = 2000;
// How long the exit waits for a running job before it ends the host.
constexpr DWORD kExitWaitMs = 3000;

void EnableDestinationChange(HWND window, bool enabled) {
    ::EnableMenuItem(::GetMenu(window), IDM_CHANGEDEST, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    ::SendMessageA(App().Toolbar, TB_ENABLEBUTTON, IDM_CHANGEDEST, MAKELPARAM(enabled ? 1 : 0, 0));
}

// A job leaves the queue and the list in one step, so line i always shows job i. The queue goes
// first: an invalid index fails there, before the list has changed.
void RemoveJob(int index) {
    App().Queue->Delete(index);
    ::SendMessageA(App().JobList, LB_DELETESTRING, index, 0);
}

int SelectedJob() {
    return static_cast<int>(::SendMessageA(App().JobList, LB_GETCURSEL, 0, 0));
}

TJob JobAt(int index) {
    return {App().Queue->GetSource(index), App().Queue->GetDestination(index)};
}

}  // namespace

void RunNextJob(HWND window, TMessage& message) {
    AppState& app = App();
    // A worker ended by the exit still asks for more, after the queue has gone.
    if (app.Worker.RunMode != kContinuous || !app.Queue)
        return;
    if (app.Queue->Count() <= 0) {
        UnlockDestinationChange(window);
        return;
    }
    MSG pending;
    while (::PeekMessageA(&pending, window, WM_RUNNEXT, WM_RUNNEXT, PM_REMOVE)) {
    }
    if (app.Worker.Busy())
        return;
    const int index = static_cast<int>(message.LParam);
    // A job that found no thread leaves the queue all the same, as it always has.
    app.Worker.Start(window, *app.Host, JobAt(index));
    RemoveJob(index);
}

void OnJobFinished(HWND window, TMessage& message) {
    const std::unique_ptr<TFinishedJob> finished(FinishedJobOf(message.LParam));
    // A job the user ended is no failure to tell.
    if (finished && !finished->Outcome.Succeeded() && finished->Outcome.Failure.Kind != TFailureKind::kCanceled)
        NoteFailure(window, finished->Job.Source, finished->Outcome);
}

void WaitForWorker() {
    AppState& app = App();
    if (app.Worker.WaitFor(kExitWaitMs))
        return;
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
    const TJob job = JobAt(index);
    // Waits for a worker's extraction, if one runs: the host takes one extraction at a time.
    const TExtractOutcome outcome = RunJobHere(*App().Host, job);
    RemoveJob(index);
    if (!outcome.Succeeded())
        NoteFailure(window, job.Source, outcome);
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
    ClearJobLines(app.JobList);
    // A job that has run for a while may be stuck in a plug-in: it ends with its host.
    if (app.Worker.Busy() && app.Host->RunningMs() > kCancelAfterMs)
        app.Host->Terminate();
}

void DeleteSelected(HWND) {
    const int index = SelectedJob();
    if (index >= 0)
        RemoveJob(index);
}
