#include "app/KeptQueue.h"

#include "app/AppState.h"
#include "app/Destination.h"
#include "app/Identifiers.h"
#include "app/JobCommands.h"
#include "app/JobList.h"
#include "app/RunningJob.h"
#include "app/TrayIcon.h"
#include "base/WideText.h"

namespace {

const char kLostAtExit[] = "ジョブはこのまま処理しますが、常駐終了やログオフのときに残っているものは失われます。";

void TellNotKept() {
    ShowTrayBalloon(Utf8Text("キューを保存できません"), Utf8Text(kLostAtExit));
}

// The first held job by name, and how many more.
void TellHeld(const TExtractQueue& queue) {
    std::string name;
    int more = -1;
    for (int i = 0; i < queue.Count(); ++i)
        if (queue.Held(i) && ++more == 0)
            name = FileNamePart(queue.GetSource(i));
    if (more < 0)
        return;
    if (more > 0)
        name += Utf8Text(" ほか ") + std::to_string(more) + Utf8Text(" 件");
    ShowTrayBalloon(
        Utf8Text("自動では解凍しないジョブがあります"),
        name + Utf8Text(" の解凍中に 2 回続けて Kelvane が終了しました。F8 で解凍するか、削除してください。"));
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
        if (journal->Newer())
            ShowTrayBalloon(
                Utf8Text("キューのファイルは新しい版のものです"),
                Utf8Text("新しい版の Kelvane が書いたファイルなので、そのまま残します。") + Utf8Text(kLostAtExit));
        else if (journal->Damaged())
            ShowTrayBalloon(Utf8Text("キューのファイルが壊れていました"),
                            Utf8Text("読めたジョブはキューに戻しました。元のファイルは ") +
                                FileNamePart(TQueueJournal::DamagedFileOf(app.QueueFile)) +
                                Utf8Text(" として残してあります。"));
        else if (!journal->Kept())
            TellNotKept();
    }
    // Told last, so that this balloon stays: these jobs wait for the user.
    TellHeld(*app.Queue);
    if (app.Queue->Count() > 0)
        StartIfContinuous(window);
}

void FlushSoon(HWND window) {
    if (App().Queue->Unflushed())
        ::SetTimer(window, IDT_FLUSH, TQueueJournal::kFlushDelayMs, nullptr);
}

void FlushNow(HWND window) {
    ::KillTimer(window, IDT_FLUSH);
    App().Queue->Flush();
}
