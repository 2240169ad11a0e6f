// One big hand-off to the running resident program, from another process as the drop handler
// sends it, then cancel-all; how long each takes to show in the job list, and how long the window
// kept a message waiting at worst meanwhile.
//   bench-bulk COUNT FOLDER
// Prints "intake_ms cancel_ms worst_reply_ms". The program must be paused with its window open.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/Identifiers.h"
#include "bench/Clock.h"
#include "handoff/Sender.h"

namespace {

// Asks the window for its line count; -1 when it does not answer within the bound.
LRESULT Lines(HWND list) {
    DWORD_PTR count = 0;
    if (!::SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 10000, &count))
        return -1;
    return static_cast<LRESULT>(count);
}

// Polls until the list has `count` lines; the time it took, or a negative number after 60 s.
double UntilLines(HWND list, LRESULT count, double start) {
    while (Lines(list) != count) {
        if (NowMs() - start > 60000)
            return -1;
        ::Sleep(1);
    }
    return NowMs() - start;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4)
        return 2;
    // The Unicode block, as today's drop handlers write it, with names outside the code page; "ansi"
    // for the ANSI block of older senders.
    const bool ansi = argc == 4 && std::string(argv[3]) == "ansi";
    const int count = std::atoi(argv[1]);
    HWND window = ::FindWindowA("Kelvane", nullptr);
    HWND list = ::GetDlgItem(window, IDC_JOBLIST);
    if (!window || !list || Lines(list) != 0)
        return 1;
    std::vector<std::string> paths;
    std::vector<std::wstring> widePaths;
    for (int i = 0; i < count; ++i) {
        paths.push_back("D:\\bulk\\pack" + std::to_string(i / 100) + ".zip\\docs\\file" + std::to_string(i) + ".txt");
        widePaths.push_back(L"D:\\bulk\\pack" + std::to_wstring(i / 100) + L".zip\\d\u00e9j\u00e0\\f\uc77c" +
                            std::to_wstring(i) + L".txt");
    }

    // Another thread keeps asking the window for a trivial answer and notes the longest wait.
    std::atomic<bool> done{false};
    std::atomic<double> worst{0};
    std::thread pinger([&] {
        while (!done) {
            const double sent = NowMs();
            DWORD_PTR ignored = 0;
            ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
            if (const double waited = NowMs() - sent; waited > worst)
                worst = waited;
            ::Sleep(2);
        }
    });

    const double intakeStart = NowMs();
    if (ansi) {
        SendHandOff(argv[2], paths);
    } else {
        const std::string folder = argv[2];
        SendHandOff(std::wstring(folder.begin(), folder.end()), widePaths);
    }
    const double intake = UntilLines(list, count, intakeStart);
    const double cancelStart = NowMs();
    ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_CANCELALL, 0), 0);
    const double cancel = UntilLines(list, 0, cancelStart);
    done = true;
    pinger.join();
    std::printf("%.1f %.1f %.1f\n", intake, cancel, worst.load());
    return intake < 0 || cancel < 0 ? 1 : 0;
}
