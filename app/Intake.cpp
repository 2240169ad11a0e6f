#include "app/Intake.h"

#include <shellapi.h>

#include "app/Destination.h"
#include "app/FailureNotice.h"
#include "app/JobCommands.h"
#include "app/JobList.h"
#include "app/RunningJob.h"
#include "app/MainWindow.h"
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

// Path i of the drop, whole: paths into archives may be far longer than paths on disk.
std::string DroppedPath(HDROP drop, UINT i) {
    std::string path(::DragQueryFileA(drop, i, nullptr, 0), '\0');
    if (!path.empty())
        path.resize(::DragQueryFileA(drop, i, path.data(), static_cast<UINT>(path.size() + 1)));
    return path;
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
        const UINT count = ::DragQueryFileA(drop.Get(), 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i)
            batch.Add(DroppedPath(drop.Get(), i), App().DestinationFolder);
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
