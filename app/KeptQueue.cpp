#include "app/KeptQueue.h"

#include "app/AppState.h"
#include "app/Destination.h"
#include "app/JobCommands.h"
#include "app/JobList.h"
#include "app/RunningJob.h"
#include "app/TrayIcon.h"
#include "base/WideText.h"

namespace {

void TellNotKept() {
    ShowTrayBalloon(Utf8Text("キューを保存できません"),
                    Utf8Text("ジョブはこのまま処理しますが、常駐終了やログオフのときに残っているものは失われます。"));
}

}  // namespace

std::unique_ptr<TExtractQueue> OpenQueue() {
    const std::string& file = App().QueueFile;
    if (file.empty())
        return std::make_unique<TExtractQueue>();
    auto journal = std::make_unique<TQueueJournal>(file);
    journal->Lost = TellNotKept;
    return std::make_unique<TExtractQueue>(std::move(journal));
}

void ShowKeptJobs(HWND window) {
    AppState& app = App();
    SyncJobLines(app.JobList, app.Queue->Count() + RunningLines());
    if (const TQueueJournal* journal = app.Queue->GetJournal()) {
        if (journal->Damaged())
            ShowTrayBalloon(Utf8Text("キューのファイルが壊れていました"),
                            Utf8Text("読めたジョブはキューに戻しました。元のファイルは ") +
                                FileNamePart(TQueueJournal::DamagedFileOf(app.QueueFile)) +
                                Utf8Text(" として残してあります。"));
        else if (!journal->Kept())
            TellNotKept();
    }
    if (app.Queue->Count() > 0)
        StartIfContinuous(window);
}
