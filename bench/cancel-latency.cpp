// How long a cancel of the running job takes, as the window sees it: from TWorker::CancelRunning to
// the job's WM_JOBFINISHED, through TPluginHosts and KelvaneHost.exe as the resident program runs
// them. The plug-ins come from Susie's settings.
//   bench-cancel ROUNDS STEPPING-SOURCE DEAF-SOURCE DESTFOLDER
// STEPPING-SOURCE is read by a plug-in that calls back every 25 ms and stops when asked, DEAF-SOURCE
// by one that never calls back. Prints one line per round: "stepping_ms deaf_ms"; a deaf round
// only every fourth round, "-" in the others, since each costs two seconds and a new host.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "base/ModulePath.h"
#include "bench/Clock.h"
#include "jobs/PluginHosts.h"
#include "jobs/Worker.h"

namespace {

struct TSeen {
    int Progress = 0;
    std::unique_ptr<TFinishedJob> Finished;
};

TSeen seen;
TWorker* noting = nullptr;  // the worker whose finished jobs the window takes

LRESULT CALLBACK Note(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_JOBPROGRESS)
        ++seen.Progress;
    else if (message == WM_JOBFINISHED)
        if (std::optional<TFinishedJob> finished = noting->TakeFinished(wParam))
            seen.Finished = std::make_unique<TFinishedJob>(std::move(*finished));
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// Dispatches this thread's messages until done() holds; false after timeoutMs.
bool PumpUntil(const std::function<bool()>& done, double timeoutMs) {
    const double until = NowMs() + timeoutMs;
    for (;;) {
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&message);
        if (done())
            return true;
        if (NowMs() > until)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
}

// One job canceled once running inside its plug-in, delayMs after it first showed progress (or
// after it began, for a plug-in that shows none); the latency in ms, or a negative value when the
// job did not end canceled leaving nothing.
double CancelOnce(HWND window, TWorker& worker, TPluginHosts& host, const std::string& source, const std::string& dest,
                  bool reports, double delayMs) {
    seen = {};
    if (!worker.Start(window, host, {source, dest}))
        return -1;
    const auto inside = [&] { return reports ? seen.Progress > 0 : host.RunningMs() > 300; };
    if (!PumpUntil(inside, 10000))
        return -1;
    PumpUntil([] { return false; }, delayMs);
    const double asked = NowMs();
    worker.CancelRunning();
    if (!PumpUntil([] { return seen.Finished != nullptr; }, 10000))
        return -1;
    const double took = NowMs() - asked;
    worker.Wait();
    const bool clean = seen.Finished->Outcome.Failure.Kind == TFailureKind::kCanceled &&
                       ::GetFileAttributesA(dest.c_str()) == INVALID_FILE_ATTRIBUTES;
    return clean ? took : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5)
        return 2;
    const int rounds = std::atoi(argv[1]);
    const std::string stepping = argv[2];
    const std::string deaf = argv[3];
    const std::string dest = std::string(argv[4]) + "\\out.txt";
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Note;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "KelvaneBenchCancel";
    ::RegisterClassA(&windowClass);
    HWND window = ::CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                    nullptr);
    if (!window)
        return 1;
    TPluginHosts host(ProgramFolder() + kHostFileName, "");
    TWorker worker;
    worker.RunMode = kPaused;
    noting = &worker;
    for (int round = 0; round < rounds; ++round) {
        // Cancels land at every phase of the wait's wake-ups and of the plug-in's callbacks.
        const double delay = (round * 37) % 100;
        const double steppingMs = CancelOnce(window, worker, host, stepping, dest, true, delay);
        if (steppingMs < 0)
            return 1;
        if (round % 4 != 0) {
            std::printf("%.1f -\n", steppingMs);
            continue;
        }
        const double deafMs = CancelOnce(window, worker, host, deaf, dest, false, delay);
        if (deafMs < 0)
            return 1;
        std::printf("%.1f %.1f\n", steppingMs, deafMs);
    }
    ::DestroyWindow(window);
    return 0;
}
