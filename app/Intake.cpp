#include "app/Intake.h"

#include <shellapi.h>

#include "app/Destination.h"
#include "app/JobCommands.h"
#include "app/JobList.h"
#include "app/MainWindow.h"
#include "handoff/BlockReader.h"

namespace {

using UniqueDrop = Unique<NullIsEmpty<HDROP, ::DragFinish>>;

// The jobs first, then the list grows to match in one step: should appending fail half-way, the
// list still shows exactly the jobs that made it.
class TBatch {
public:
    ~TBatch() { SyncJobLines(App().JobList, App().Queue->Count()); }
    void Add(const std::string& source, const std::string& folder) {
        App().Queue->Append(source, DestinationFor(folder, source), 0);
    }
};

// New jobs are seen or run: paused, the window comes to the front; continuous, the chain starts.
void FinishIntake(HWND window) {
    if (App().Worker.RunMode == kPaused) {
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
        TBatch batch;
        const UINT count = ::DragQueryFileA(drop.Get(), 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            // At most 259 bytes of a path are taken.
            char path[MAX_PATH] = {};
            ::DragQueryFileA(drop.Get(), i, path, MAX_PATH);
            batch.Add(path, App().DestinationFolder);
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
        TBatch batch;
        for (const std::string& path : request->Paths)
            batch.Add(path, request->Folder);
    }
    FinishIntake(window);
}
