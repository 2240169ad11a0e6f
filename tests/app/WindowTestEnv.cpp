#include "tests/app/WindowTestEnv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <thread>

#include <windows.h>
#include <commctrl.h>

#include "app/AppState.h"
#include "app/MainWindow.h"
#include "app/Settings.h"
#include "app/TrayIcon.h"
#include "base/WideText.h"
#include "engine/SusieSettings.h"
#include "tools/DropDataObject.h"

void DeleteKeptQueue() {
    const std::string file = TQueueJournal::DefaultFile();
    ::DeleteFileW(WideFromUtf8(file).c_str());
    ::DeleteFileW(WideFromUtf8(TQueueJournal::DamagedFileOf(file)).c_str());
}

void StartCleanWindowTest() {
    static const bool registered = RegisterMainClass();
    ASSERT_TRUE(registered);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kSusiePluginKey);
    // The program's own queue file, as the program keeps it.
    DeleteKeptQueue();
    App().QueueFile = TQueueJournal::DefaultFile();
}

void EndWindowTest() {
    AppState& app = App();
    // Quitting already, WM_DESTROY tears nothing down (it would save the settings and post WM_QUIT);
    // the test takes the window apart itself.
    app.Quitting = true;
    if (app.MainWindow) {
        RemoveTrayIcon();
        ::DestroyWindow(app.MainWindow);
    }
    MSG stray;
    while (::PeekMessageA(&stray, nullptr, 0, 0, PM_REMOVE)) {
    }
    app.MainWindow = app.Toolbar = app.JobList = nullptr;
    // A job that hangs is a failure of its test, not a hang of the whole program.
    if (!app.Worker.WaitFor(20000)) {
        ADD_FAILURE() << "the worker was still running";
        if (app.Host)
            app.Host->Terminate();
        if (!app.Worker.WaitFor(10000)) {
            std::fputs("the worker did not end when its hosts were ended\n", stderr);
            std::_Exit(1);
        }
    }
    app.Host.reset();
    app.Queue.reset();
    app.Running.reset();
    app.Worker.TakeAllFinished();
    app.SelectedRunsNext = false;
    app.Quitting = false;
    app.ListFont.Reset();
    app.TrayIcon.Reset();
    app.Worker.RunMode = kContinuous;
    app.DestinationFolder.clear();
    app.LineHeight = 0;
    app.Failures = TFailureNotice();
    app.BalloonsShown = 0;
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    DeleteKeptQueue();
}

HWND CreateTestMainWindow() {
    HWND window = CreateMainWindow();
    EXPECT_NE(window, nullptr);
    App().MainWindow = window;
    return window;
}

std::string WindowText(HWND window) {
    char text[512] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

std::wstring WideWindowText(HWND window) {
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, static_cast<int>(std::size(text)));
    return text;
}

std::string TrayText(const wchar_t* field) {
    return ShownAnsi(field);
}

std::string BalloonTitleShown() {
    std::string title = TrayText(App().Tray.szInfoTitle);
    while (title.size() >= 2 && title.compare(title.size() - 2, 2, "　") == 0)
        title.resize(title.size() - 2);
    return title;
}

bool MenuEnabled(HWND window, UINT command) {
    const UINT state = ::GetMenuState(::GetMenu(window), command, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

bool ButtonEnabled(UINT command) {
    return ::SendMessageA(App().Toolbar, TB_ISBUTTONENABLED, command, 0) != 0;
}

bool WhileShown(const char* windowClass, const char* caption, const std::function<void(HWND)>& onShown,
                const std::function<void()>& action) {
    std::atomic<bool> done = false;
    std::atomic<bool> seen = false;
    std::thread watcher([&] {
        const ULONGLONG deadline = ::GetTickCount64() + 10000;
        while (!done && ::GetTickCount64() < deadline) {
            HWND shown = ::FindWindowA(windowClass, caption);
            if (shown && ::IsWindowVisible(shown)) {
                seen = true;
                onShown(shown);
                return;
            }
            ::Sleep(10);
        }
    });
    action();
    done = true;
    watcher.join();
    return seen;
}

std::string MessageBoxText(HWND box) {
    // A message box shows its text in the static control 0xFFFF.
    char text[1024] = {};
    ::GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

void DropPaths(HWND window, const std::vector<std::string>& paths) {
    const std::vector<char> bytes = DropListBytes(paths);
    HGLOBAL drop = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(::GlobalLock(drop), bytes.data(), bytes.size());
    ::GlobalUnlock(drop);
    ::SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
}

void PumpPending() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

void PumpUntil(const std::function<bool()>& done) {
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    for (;;) {
        PumpPending();
        if (done())
            return;
        if (::GetTickCount64() >= deadline) {
            ADD_FAILURE() << "condition not reached within 10 s";
            return;
        }
        // Wakes for the next message, or to look again at what another thread changes.
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}
