// Files dropped on the window, COUNT at once: how long the window's WM_DROPFILES takes, from the
// drop list to every job queued and shown, against reading the same list the way the window read it
// before, DragQueryFileA for each path (which walks the list from its start every time).
//   bench-drop COUNT
// Prints "intake_ms per_path_reads_ms". Runs the window in this process, paused and hidden.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/AppState.h"
#include "app/Identifiers.h"
#include "app/MainWindow.h"
#include "bench/Clock.h"

namespace {

HGLOBAL DropList(int count) {
    std::string paths;
    for (int i = 0; i < count; ++i)
        paths += "D:\\bulk\\pack" + std::to_string(i / 100) + ".zip\\docs\\file" + std::to_string(i) + ".txt" + '\0';
    paths += '\0';
    HGLOBAL drop = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + paths.size());
    auto* header = static_cast<DROPFILES*>(::GlobalLock(drop));
    header->pFiles = sizeof(DROPFILES);
    std::memcpy(header + 1, paths.data(), paths.size());
    ::GlobalUnlock(drop);
    return drop;
}

double PerPathReads(HDROP drop) {
    const double start = NowMs();
    const UINT count = ::DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::string path(::DragQueryFileA(drop, i, nullptr, 0), '\0');
        ::DragQueryFileA(drop, i, path.data(), static_cast<UINT>(path.size() + 1));
    }
    return NowMs() - start;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc == 2 ? std::atoi(argv[1]) : 0;
    if (count <= 0 || !RegisterMainClass())
        return 2;
    const DWORD paused = kPaused;
    ::RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Ombrik\\Kelvane", "Mode", REG_DWORD, &paused, sizeof paused);
    HWND window = CreateMainWindow();
    if (!window)
        return 1;
    App().MainWindow = window;
    ::ShowWindow(window, SW_HIDE);
    HGLOBAL old = DropList(count);
    const double reads = PerPathReads(static_cast<HDROP>(old));
    ::GlobalFree(old);
    const double start = NowMs();
    ::SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(DropList(count)), 0);
    const double intake = NowMs() - start;
    const bool all = App().Queue->Count() == count;
    std::printf("%.1f %.1f\n", intake, reads);
    std::fflush(stdout);
    // The process ends here: no settings saved, no hosts to end.
    ::ExitProcess(all ? 0 : 1);
}
