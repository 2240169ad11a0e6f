#include "jobs/Intake.h"

#include <shellapi.h>

#include "app/Destination.h"
#include "app/Identifiers.h"
#include "app/MainWindow.h"
#include "handoff/BlockReader.h"
#include "jobs/Worker.h"

namespace {

using UniqueDrop = Unique<NullIsEmpty<HDROP, ::DragFinish>>;

// The job first: should that fail, the list has not grown and stays in step with the queue.
void AddJob(const std::string& source, const std::string& folder) {
    App().Queue->Append(source, DestinationFor(folder, source), 0);
    ::SendMessageA(App().JobList, LB_ADDSTRING, 0, 0);
}

// New jobs are seen or run: paused, the window comes to the front; continuous, the chain starts.
void FinishIntake(HWND window) {
    if (App().RunMode == kPaused) {
        ::ShowWindow(window, SW_SHOW);
        UpdateCommandStates(window);
        ::SetForegroundWindow(window);
    }
    StartIfContinuous(window);
}

}  // namespace

void AcceptDroppedFiles(HWND window, TMessage& message) {
    {
        UniqueDrop drop(reinterpret_cast<HDROP>(message.WParam));
        const UINT count = ::DragQueryFileA(drop.Get(), 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            // At most 259 bytes of a path are taken.
            char path[MAX_PATH] = {};
            ::DragQueryFileA(drop.Get(), i, path, MAX_PATH);
            AddJob(path, App().DestinationFolder);
        }
    }
    FinishIntake(window);
}

void AcceptHandOff(HWND window, TMessage&) {
    auto block = App().Pending.TakeOldest();
    if (!block)
        return;
    // The block carries its own folder; the program's destination folder stays as it is.
    if (auto request = ReadHandOffBlock(*block)) {
        for (const std::string& path : request->Paths)
            AddJob(path, request->Folder);
    }
    FinishIntake(window);
}
