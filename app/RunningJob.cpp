#include "app/RunningJob.h"

#include <vssym32.h>

#include <algorithm>

#include "app/AppState.h"
#include "app/Dpi.h"
#include "app/FailureNotice.h"
#include "app/Identifiers.h"
#include "app/KeptQueue.h"
#include "app/Theme.h"
#include "app/TrayIcon.h"
#include "base/WideText.h"

namespace {

// In 96-DPI pixels.
constexpr int kBarWidth = 120;
constexpr int kGap = 6;
constexpr int kBarMargin = 2;

// A job's end is looked for this often while it runs, should its WM_JOBFINISHED be lost.
constexpr UINT kLostEndCheckMs = 2000;

void EndJob(HWND window, const TFinishedJob& finished) {
    App().Queue->Ended(finished.Job.Id);
    FlushSoon(window);
    EndRunning(window, finished.Number);
    // A job the user ended is no failure to tell.
    if (!finished.Outcome.Succeeded() && finished.Outcome.Failure.Kind != TFailureKind::kCanceled)
        NoteFailure(window, finished.Job.Source, finished.Outcome);
}

std::string RunningTip(const TRunningJob& running) {
    return Utf8Text("Kelvane - 解凍中 ") + std::to_string(running.Percent()) + "%";
}

// What the hosts learnt of plug-ins, kept where kelvane-extract reads it.
void KeepStandingWhenChanged() {
    AppState& app = App();
    std::vector<TPluginStanding> standing = app.Host ? app.Host->Standing() : std::vector<TPluginStanding>();
    if (standing == app.Standing)
        return;
    KeepStanding(standing);
    app.Standing = std::move(standing);
}

void InvalidateRunningLine() {
    RECT line = {};
    if (::SendMessageA(App().JobList, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&line)) != LB_ERR)
        ::InvalidateRect(App().JobList, &line, FALSE);
}

}  // namespace

int TRunningJob::Percent() const {
    const int levels = std::max(Levels, 1);
    const int level = std::clamp(Level, 1, levels);
    return ((level - 1) * 1000 + std::clamp(Permille, 0, 1000)) / levels / 10;
}

int RunningLines() {
    return App().Running ? 1 : 0;
}

void ShowRunning(HWND window, const TJob& job, uint64_t number) {
    AppState& app = App();
    const bool lineThere = app.Running.has_value();
    app.Running = TRunningJob{job, number};
    if (!lineThere)
        ::SendMessageA(app.JobList, LB_INSERTSTRING, 0, 0);
    InvalidateRunningLine();
    RefreshTrayTip();
    ::SetTimer(window, IDT_RUNNING, kLostEndCheckMs, nullptr);
}

void EndRunning(HWND window, uint64_t number) {
    AppState& app = App();
    if (!app.Running || app.Running->Number != number)
        return;
    app.Running.reset();
    KeepStandingWhenChanged();
    ::KillTimer(window, IDT_RUNNING);
    ::SendMessageA(app.JobList, LB_DELETESTRING, 0, 0);
    RefreshTrayTip();
}

void OnJobFinished(HWND window, TMessage& message) {
    if (std::optional<TFinishedJob> finished = App().Worker.TakeFinished(message.WParam))
        EndJob(window, *finished);
}

void TakeFinishedJobs(HWND window) {
    for (const TFinishedJob& finished : App().Worker.TakeAllFinished())
        EndJob(window, finished);
}

void OnJobProgress(HWND, TMessage& message) {
    AppState& app = App();
    if (!app.Running)
        return;
    TRunningJob& running = *app.Running;
    const int before = running.Percent();
    running.Permille = std::clamp(static_cast<int>(message.WParam), 0, 1000);
    running.Levels = std::max(1, static_cast<int>(HIWORD(message.LParam)));
    running.Level = std::clamp(static_cast<int>(LOWORD(message.LParam)), 1, running.Levels);
    InvalidateRunningLine();
    if (running.Percent() != before)
        RefreshTrayTip();
}

void RefreshTrayTip() {
    const AppState& app = App();
    SetTrayTip(app.Running ? RunningTip(*app.Running) : app.Failures.Tip());
}

std::wstring RunningText(const TRunningJob& running) {
    std::string text = running.Levels > 1 ? std::to_string(running.Level) + "/" + std::to_string(running.Levels) : "";
    return WideFromUtf8(text + " -> " + running.Job.Destination);
}

void DrawRunning(HDC dc, const RECT& row, const TRunningJob& running, const std::wstring& text) {
    const int dpi = App().Dpi;
    const int margin = Scaled(kBarMargin, dpi);
    const int width = Scaled(kBarWidth, dpi);
    RECT bar = {row.left, row.top + margin, row.left + width, row.bottom - margin};
    const TTheme theme(App().JobList, L"PROGRESS");
    if (theme.Draws(PP_BAR) && theme.Draws(PP_FILL)) {
        theme.Draw(dc, PP_BAR, 0, bar);
        RECT done = bar;
        done.right = bar.left + (bar.right - bar.left) * running.Percent() / 100;
        theme.Draw(dc, PP_FILL, PBFS_NORMAL, done);
    } else {
        ::FrameRect(dc, &bar, ::GetSysColorBrush(COLOR_WINDOWTEXT));
        ::InflateRect(&bar, -1, -1);
        RECT done = bar;
        done.right = bar.left + (bar.right - bar.left) * running.Percent() / 100;
        ::FillRect(dc, &done, ::GetSysColorBrush(COLOR_HIGHLIGHT));
    }
    ::TextOutW(dc, row.left + width + Scaled(kGap, dpi), row.top, text.c_str(), static_cast<int>(text.size()));
}
