// The one process-wide record of the resident program. The GUI thread owns it; the worker thread
// has only what TWorker hands it.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/FailureNotice.h"
#include "app/RunningJob.h"
#include "base/Owned.h"
#include "handoff/PendingBlocks.h"
#include "jobs/ExtractQueue.h"
#include "jobs/PluginHosts.h"
#include "jobs/Worker.h"

// What every window-message handler receives; Result is what the window procedure returns.
struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

struct AppState {
    bool Quitting = false;  // the exit is decided: no new work is taken (see the window procedure)
    UINT RegisteredMessage = 0;
    UINT WarmUpMessage = 0;          // the drop handler's menu is open: a hand-off may follow
    UINT TaskbarCreatedMessage = 0;  // the shell restarted: the tray icon must be added again
    HWND MainWindow = nullptr;
    int ShownAs = SW_SHOWNORMAL;  // how the hidden window comes back: normal or maximized
    HWND Toolbar = nullptr;
    HWND JobList = nullptr;
    HACCEL Accelerators = nullptr;
    bool ToolbarPresent = false;
    TPendingBlocks Pending;  // hand-off blocks received and not yet taken into the queue
    UniqueFont ListFont;
    std::unique_ptr<TPluginHosts> Host;  // run the plug-ins in processes of their own, one per width
    std::vector<TPluginStanding> Standing;  // what the hosts had made of plug-ins at the last job's end
    std::string QueueFile;  // where the queue is kept; empty: in memory alone
    std::unique_ptr<TExtractQueue> Queue;
    std::optional<TRunningJob> Running;  // shown on the list's first line while it runs
    bool SelectedRunsNext = false;        // the front job was chosen to run as soon as the worker is free
    std::string DestinationFolder;
    std::wstring Browsed;  // the path this start was given, for the browser
    int LineHeight = 0;  // one text line of the list, with its leading
    int Dpi = 96;        // of the monitor the main window is on
    NOTIFYICONDATAW Tray = {};
    UniqueIcon TrayIcon;
    UniqueIcon AboutIcon;  // at the size the about box's DPI asks for
    TFailureNotice Failures;
    int BalloonsShown = 0;  // what the tray icon was asked to show, for tests to see
    // After the host, so it goes before it: it waits for its thread, which uses the host.
    TWorker Worker;
    UniqueHandle InstanceMutex;
    UniqueHandle QuittingMark;  // the named event that says this program quits
};

AppState& App();
