#include "jobs/Worker.h"

#include <commctrl.h>

#include <memory>

#include "app/Identifiers.h"
#include "app/MainWindow.h"
#include "engine/Archive.h"

namespace {

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

}  // namespace

void RunNextJob(HWND window, TMessage& message) {
    AppState& app = App();
    if (app.RunMode != kContinuous)
        return;
    if (app.Queue->Count() <= 0) {
        UnlockDestinationChange(window);
        return;
    }
    MSG pending;
    while (::PeekMessageA(&pending, window, WM_RUNNEXT, WM_RUNNEXT, PM_REMOVE)) {
    }
    if (app.WorkerBusy)
        return;

    const int index = static_cast<int>(message.LParam);
    auto param = std::make_unique<TParam>();
    param->Source = app.Queue->GetSource(index);
    param->Destination = app.Queue->GetDestination(index);
    app.WorkerBusy = true;
    // The handle is kept so that the exit path can wait for the worker.
    app.Worker.Reset(::CreateThread(nullptr, 0, WorkerProc, param.get(), 0, nullptr));
    if (app.Worker)
        param.release();
    else
        app.WorkerBusy = false;
    RemoveJob(index);
}

DWORD WINAPI WorkerProc(LPVOID raw) {
    std::unique_ptr<TParam> param(static_cast<TParam*>(raw));
    AppState& app = App();
    app.WorkerBusy = true;
    // A failed job is simply gone; ExtractPath reports every error as false.
    ExtractPath(*app.Plugins, param->Source, param->Destination);
    param.reset();
    app.WorkerBusy = false;
    if (app.RunMode == kContinuous)
        ::PostMessageA(app.MainWindow, WM_RUNNEXT, 0, 0);
    return 0;
}

void WaitForWorker() {
    if (App().Worker)
        ::WaitForSingleObject(App().Worker.Get(), INFINITE);
}

void StartIfContinuous(HWND window) {
    if (App().RunMode != kContinuous)
        return;
    EnableDestinationChange(window, false);
    ::PostMessageA(window, WM_RUNNEXT, 0, 0);
}

void UnlockDestinationChange(HWND window) {
    EnableDestinationChange(window, true);
}

void ExtractSelected(HWND) {
    const int index = SelectedJob();
    if (index < 0)
        return;
    const std::string destination = App().Queue->GetDestination(index);
    const std::string source = App().Queue->GetSource(index);
    // Waits for a worker's extraction, if one runs: the engine takes one extraction at a time.
    ExtractPath(*App().Plugins, source, destination);
    RemoveJob(index);
}

void SetContinuous(HWND window) {
    App().RunMode = kContinuous;
    UpdateCommandStates(window);
    ::PostMessageA(window, WM_RUNNEXT, 0, 0);
}

void SetPaused(HWND window) {
    App().RunMode = kPaused;
    UpdateCommandStates(window);
}

void CancelAll(HWND) {
    const int count = static_cast<int>(::SendMessageA(App().JobList, LB_GETCOUNT, 0, 0));
    for (int i = count - 1; i >= 0; --i)
        RemoveJob(i);
}

void DeleteSelected(HWND) {
    const int index = SelectedJob();
    if (index >= 0)
        RemoveJob(index);
}
