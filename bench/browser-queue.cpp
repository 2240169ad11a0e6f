// Queuing what is selected in the running program's browser: select all, "解凍(&E)", until the job
// list shows every member; and the worst time the browser kept a message waiting meanwhile.
//   bench-browser-queue ROUNDS COUNT
// Prints per round "queue_ms worst_reply_ms". The program must be paused, its window open, and its
// browser showing a level of COUNT files.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/Identifiers.h"
#include "bench/Clock.h"

namespace {

LRESULT Count(HWND window, UINT message) {
    DWORD_PTR count = 0;
    if (!::SendMessageTimeoutA(window, message, 0, 0, SMTO_NORMAL, 10000, &count))
        return -1;
    return static_cast<LRESULT>(count);
}

bool Until(HWND window, UINT message, LRESULT count) {
    const double start = NowMs();
    while (Count(window, message) != count) {
        if (NowMs() - start > 60000)
            return false;
        ::Sleep(1);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const int rounds = std::atoi(argv[1]);
    const LRESULT count = std::atol(argv[2]);
    HWND main = ::FindWindowA("Kelvane", nullptr);
    HWND browser = ::FindWindowA("KelvaneBrowser", nullptr);
    HWND jobs = main ? ::GetDlgItem(main, IDC_JOBLIST) : nullptr;
    HWND rows = browser ? ::GetDlgItem(browser, IDC_BROWSERLIST) : nullptr;
    if (!jobs || !rows || !Until(rows, LVM_GETITEMCOUNT, count))
        return 1;
    for (int round = 0; round < rounds; ++round) {
        ::PostMessageA(main, WM_COMMAND, IDM_CANCELALL, 0);
        if (!Until(jobs, LB_GETCOUNT, 0))
            return 1;
        std::atomic<bool> done{false};
        std::atomic<double> worst{0};
        std::thread watch([&] {
            while (!done) {
                const double asked = NowMs();
                DWORD_PTR result = 0;
                ::SendMessageTimeoutA(browser, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
                worst = std::max(worst.load(), NowMs() - asked);
                ::Sleep(5);
            }
        });
        const double start = NowMs();
        ::PostMessageA(browser, WM_COMMAND, IDM_BROWSE_SELECTALL, 0);
        ::PostMessageA(browser, WM_COMMAND, IDM_BROWSE_EXTRACT, 0);
        const bool queued = Until(jobs, LB_GETCOUNT, count);
        const double took = NowMs() - start;
        done = true;
        watch.join();
        if (!queued)
            return 1;
        std::printf("%.1f %.1f\n", took, worst.load());
    }
    ::PostMessageA(main, WM_COMMAND, IDM_CANCELALL, 0);
    return 0;
}
