#include "app/FailureNotice.h"

#include "app/AppState.h"
#include "app/Identifiers.h"
#include "app/RunningJob.h"
#include "app/TrayIcon.h"
#include "base/PathText.h"
#include "base/WideText.h"

namespace {

std::string LastComponent(std::string path) {
    std::string last;
    SplitLastComponent(path, last);
    return last;
}

}  // namespace

bool TFailureNotice::Add(const std::string& source, const TExtractOutcome& outcome) {
    Latest = LastComponent(source) + "\n" + outcome.Reason();
    ++Unseen_;
    return Gathered++ == 0;
}

std::optional<TBalloon> TFailureNotice::TakeBalloon() {
    if (Gathered == 0)
        return std::nullopt;
    std::string text =
        Gathered == 1 ? Latest : std::to_string(Gathered) + Utf8Text(" 件が失敗しました。最後は\n") + Latest;
    Gathered = 0;
    return TBalloon{Utf8Text(kFailureTitle), std::move(text)};
}

std::string TFailureNotice::Tip() const {
    if (Unseen_ == 0)
        return "Kelvane";
    return Utf8Text("Kelvane - 失敗 ") + std::to_string(Unseen_) + Utf8Text(" 件");
}

void NoteFailure(HWND window, const std::string& source, const TExtractOutcome& outcome) {
    TFailureNotice& notice = App().Failures;
    if (notice.Add(source, outcome))
        ::SetTimer(window, IDT_FAILURES, TFailureNotice::kGatherMs, nullptr);
    RefreshTrayTip();
}

void ShowGatheredFailures(HWND window) {
    ::KillTimer(window, IDT_FAILURES);
    if (const auto balloon = App().Failures.TakeBalloon())
        ShowTrayBalloon(balloon->Title, balloon->Text);
}

void OnShowWindow(HWND, TMessage& message) {
    if (!message.WParam || App().Failures.Unseen() == 0)
        return;
    App().Failures.Seen();
    RefreshTrayTip();
}
