// Lists for the browser on a thread of its own, through plug-in hosts of its own, so that neither a
// long job nor a long listing ever holds the other, nor the window. One listing at a time: a newer
// request cancels the one that runs. Each ends in a message to the window, with its result.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/BrowserDrag.h"
#include "app/BrowserLevel.h"
#include "engine/ExtractOutcome.h"

class TPluginHosts;

// What a listing came to; the window takes it from the message's lParam and owns it from then on.
struct TBrowserListed {
    uint64_t Serial;
    std::string Path;
    TExtractOutcome Outcome;
    TBrowserLevel Level;
};

class TBrowserLister final : public TMemberSource {
public:
    // Results go to window as message, until this object goes.
    TBrowserLister(HWND window, UINT message);
    TBrowserLister(const TBrowserLister&) = delete;
    TBrowserLister& operator=(const TBrowserLister&) = delete;
    // Ends the hosts and waits for the thread.
    ~TBrowserLister();

    // Lists path (UTF-8) next, canceling the listing that runs; its serial, which the result carries.
    uint64_t List(const std::string& path);
    // Cancels the listing that runs, if any: it ends as canceled.
    void Cancel();
    // A member dragged out, through the same hosts, which keep the levels the listing took out; after
    // the listing that runs, if one does.
    TExtractOutcome TakeOut(const std::string& source, const std::string& destination) override;

private:
    class TCancel;
    void Run();

    HWND Window;
    UINT Message;
    std::unique_ptr<TPluginHosts> Hosts;
    mutable std::mutex Lock;  // the cancel asks from inside the hosts' wait
    std::condition_variable Wake;
    std::string Path;
    uint64_t Requested = 0;  // the newest request's serial
    uint64_t Canceled = 0;   // requests up to this one are canceled
    bool Quitting = false;
    std::thread Thread;
};
