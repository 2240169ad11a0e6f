// The one process-wide record of the resident program. The GUI thread owns it; the worker thread
// touches only WorkerBusy (write), RunMode (read) and MainWindow (to post to it).
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "base/Owned.h"
#include "engine/PluginList.h"
#include "handoff/PendingBlocks.h"
#include "jobs/ExtractQueue.h"

constexpr uint8_t kContinuous = 0;
constexpr uint8_t kPaused = 1;

// What every window-message handler receives; Result is what the window procedure returns.
struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

struct AppState {
    UINT RegisteredMessage = 0;
    UINT TaskbarCreatedMessage = 0;  // the shell restarted: the tray icon must be added again
    HWND MainWindow = nullptr;
    HWND Toolbar = nullptr;
    HWND JobList = nullptr;
    HACCEL Accelerators = nullptr;
    bool ToolbarPresent = false;
    TPendingBlocks Pending;  // hand-off blocks received and not yet taken into the queue
    UniqueFont ListFont;
    std::unique_ptr<TPluginList> Plugins;
    std::unique_ptr<TExtractQueue> Queue;
    std::atomic<uint8_t> RunMode{kContinuous};
    std::string DestinationFolder;
    int LineHeight = 0;
    NOTIFYICONDATAA Tray = {};
    UniqueIcon TrayIcon;
    std::atomic<bool> WorkerBusy{false};
    UniqueHandle Worker;  // the last worker thread, so the exit path can wait for it
    UniqueHandle InstanceMutex;
};

static_assert(sizeof(AppState::RunMode) == 1 && decltype(AppState::RunMode)::is_always_lock_free);
static_assert(decltype(AppState::WorkerBusy)::is_always_lock_free);

AppState& App();
