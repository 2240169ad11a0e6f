#include "app/Intake.h"

#include <shellapi.h>

#include <optional>
#include <string_view>

#include "app/Destination.h"
#include "app/FailureNotice.h"
#include "app/JobCommands.h"
#include "app/JobList.h"
#include "app/RunningJob.h"
#include "app/MainWindow.h"
#include "base/WideText.h"
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
    // Wide names enter today's ANSI queue only when they convert exactly: a lossy name could find
    // another member. Any other is told as a failed job is, and not queued. `folder` is empty when
    // the wide folder did not convert.
    void Add(const std::wstring& source, const std::optional<std::string>& folder, std::wstring_view wideFolder) {
        std::string ansi;
        const bool named = ExactAnsi(source, ansi);
        if (named && folder) {
            Add(ansi, *folder);
            return;
        }
        TExtractOutcome refused;
        refused.Failure.Kind = TFailureKind::kNotInCodePage;
        refused.Component = named ? ShownAnsi(wideFolder) : ShownAnsi(source);
        if (named)
            refused.Failure.File = refused.Component;
        NoteFailure(Window, named ? ansi : refused.Component, refused);
    }

private:
    HWND Window;
};

// The drop's paths, whole and in one pass: DragQueryFileW walks the list from its start for each
// path it is asked for, and paths into archives may be far longer than paths on disk.
std::vector<std::wstring> DroppedPaths(HDROP drop) {
    std::vector<std::wstring> paths;
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
        const std::optional<std::string> folder = App().DestinationFolder;
        const std::wstring wideFolder = WideFromAnsi(App().DestinationFolder);
        for (const std::wstring& path : DroppedPaths(drop.Get()))
            batch.Add(path, folder, wideFolder);
    }
    FinishIntake(window);
}

void AcceptHandOff(HWND window, TMessage&) {
    auto block = App().Pending.TakeOldest();
    if (!block)
        return;
    // The block carries its own folder; the program's destination folder stays as it is. An ANSI
    // block's bytes are queued as they came.
    if (auto request = ReadHandOffBlock(*block)) {
        TBatch batch(window);
        for (const std::string& path : request->Paths)
            batch.Add(path, request->Folder);
    } else if (auto wide = ReadWideHandOffBlock(*block)) {
        TBatch batch(window);
        std::optional<std::string> folder(std::in_place);
        if (!ExactAnsi(wide->Folder, *folder))
            folder.reset();
        for (const std::wstring& path : wide->Paths)
            batch.Add(path, folder, wide->Folder);
    }
    FinishIntake(window);
}
