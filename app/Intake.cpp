#include "app/Intake.h"

#include <shellapi.h>

#include <new>
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

// A wide name has no UTF-8 form when it holds a surrogate without its pair; ANSI bytes have none when
// they are no valid text in the code page.
bool ExactName(const std::wstring& wide, std::string& utf8) {
    return ExactUtf8(wide, utf8);
}
bool ExactName(const std::string& ansi, std::string& utf8) {
    return Utf8FromAnsi(ansi, utf8);
}
std::string ShownName(const std::wstring& wide) {
    return ShownUtf8(wide);
}
std::string ShownName(const std::string& ansi) {
    return ShownUtf8(WideFromAnsi(ansi));
}

// The folder a block names, in UTF-8; empty when it has no exact form.
template <typename TChar>
std::optional<std::string> ExactFolder(const std::basic_string<TChar>& folder) {
    std::string utf8;
    if (!ExactName(folder, utf8))
        return std::nullopt;
    return utf8;
}

// The jobs go into the queue together, kept on the disk in one write, and the list grows to match
// in one step: should anything fail half-way, the list still shows exactly the jobs queued.
class TBatch {
public:
    explicit TBatch(HWND window) : Window(window) {}
    ~TBatch() {
        try {
            App().Queue->AppendAll(std::move(Jobs));
        } catch (const std::bad_alloc&) {
        }
        SyncJobLines(App().JobList, App().Queue->Count() + RunningLines());
    }
    // Both UTF-8.
    void Add(const std::string& source, const std::string& folder) {
        // A path past the bound could never run: it is told now, as a failed job is, and not queued.
        TExtractOutcome refused;
        if (!SourceFits(source, refused)) {
            NoteFailure(Window, source, refused);
            return;
        }
        Jobs.push_back({0, source, DestinationFor(folder, source), 0});
    }
    // A name with no exact form (`shownSource`, or the folder `shownFolder` when given) is told as a
    // failed job is, and not queued: a lossy name could find another member.
    void Refuse(const std::string& shownSource, const std::optional<std::string>& shownFolder) {
        TExtractOutcome refused;
        refused.Failure.Kind = TFailureKind::kNotInCodePage;
        refused.Component = shownFolder ? *shownFolder : shownSource;
        if (shownFolder)
            refused.Failure.File = *shownFolder;
        NoteFailure(Window, shownSource, refused);
    }
    // A name as it came, wide or in the ANSI code page, enters only in its exact UTF-8 form. `folder`
    // is empty when `cameFolder` had none.
    template <typename TChar>
    void Add(const std::basic_string<TChar>& source, const std::optional<std::string>& folder,
             const std::basic_string<TChar>& cameFolder) {
        std::string utf8;
        if (!ExactName(source, utf8))
            Refuse(ShownName(source), std::nullopt);
        else if (!folder)
            Refuse(utf8, ShownName(cameFolder));
        else
            Add(utf8, *folder);
    }

private:
    HWND Window;
    std::vector<TExtractJob> Jobs;
};

// New jobs are seen or run: paused, the window comes to the front; continuous, the chain starts.
void FinishIntake(HWND window) {
    if (App().Worker.RunMode == kPaused) {
        ShowMainWindow(window);
        ::SetForegroundWindow(window);
    }
    StartIfContinuous(window);
}

}  // namespace

// Whole and in one pass: DragQueryFileW walks the list from its start for each path it is asked for,
// and paths into archives may be far longer than paths on disk.
std::vector<std::wstring> DroppedPaths(HDROP drop) {
    std::vector<std::wstring> paths;
    const GlobalLockGuard block(drop);
    ReadDropFiles(block.Data(), block.Size(), paths);
    return paths;
}

void AcceptDroppedFiles(HWND window, TMessage& message) {
    {
        UniqueDrop drop(reinterpret_cast<HDROP>(message.WParam));
        TBatch batch(window);
        const std::optional<std::string> folder = App().DestinationFolder;
        const std::wstring wideFolder = WideFromUtf8(App().DestinationFolder);
        for (const std::wstring& path : DroppedPaths(drop.Get()))
            batch.Add(path, folder, wideFolder);
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
        const std::optional<std::string> folder = ExactFolder(request->Folder);
        for (const std::string& path : request->Paths)
            batch.Add(path, folder, request->Folder);
    } else if (auto wide = ReadWideHandOffBlock(*block)) {
        TBatch batch(window);
        const std::optional<std::string> folder = ExactFolder(wide->Folder);
        for (const std::wstring& path : wide->Paths)
            batch.Add(path, folder, wide->Folder);
    }
    FinishIntake(window);
}

void QueueMembers(HWND window, const std::vector<std::string>& paths, const std::string& folder) {
    if (App().Quitting)
        return;
    {
        TBatch batch(window);
        for (const std::string& path : paths)
            batch.Add(path, folder);
    }
    FinishIntake(window);
}
