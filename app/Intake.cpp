#include "app/Intake.h"

#include <shellapi.h>

#include "app/Destination.h"
#include "app/FailureNotice.h"
#include "app/JobCommands.h"
#include "app/JobList.h"
#include "app/RunningJob.h"
#include "app/MainWindow.h"
#include "base/DropFiles.h"
#include "engine/JobPaths.h"
#include "handoff/BlockReader.h"

namespace {

using UniqueDrop = Unique<NullIsEmpty<HDROP, ::DragFinish>>;

// The jobs first, then the list grows to match in one step: should appending fail half-way, the
// list still shows exactly the jobs that made it.
class TBatch {
public:
    explicit TBatch(HWND window) : Window(window) {}
    ~TBatch() { SyncJobLines(App().JobList, App().Queue->Count() + RunningLines()); }
    void Add(const std::string& source, const std::string& folder) {
        // A path past the bound could never run: it is told now, as a failed job is, and not queued.
        TExtractOutcome refused;
        if (!SourceFits(source, refused)) {
            NoteFailure(Window, source, refused);
            return;
        }
        App().Queue->Append(source, DestinationFor(folder, source), 0);
    }

private:
    HWND Window;
};

// The drop's paths, whole and in one pass: DragQueryFileA walks the list from its start for each
// path it is asked for, and paths into archives may be far longer than paths on disk.
std::vector<std::string> DroppedPaths(HDROP drop) {
    std::vector<std::string> paths;
    const GlobalLockGuard block(drop);
    ReadDropFiles(block.Data(), block.Size(), paths);
    return paths;
}

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
        TBatch batch(window);
        for (const std::string& path : DroppedPaths(drop.Get()))
            batch.Add(path, App().DestinationFolder);
    }
    FinishIntake(window);
}

void AcceptHandOff(HWND window, TMessage&) {
    auto block = App().Pending.TakeOldest();
    if (!block)
        return;
    // The block carries its own folder; the program's destination folder stays as it is.
    if (auto request = ReadHandOffBlock(*block)) {
        TBatch batch(window);
        for (const std::string& path : request->Paths)
            batch.Add(path, request->Folder);
    }
    FinishIntake(window);
}
