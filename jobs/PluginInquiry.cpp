#include "jobs/PluginInquiry.h"

#include "jobs/PluginHosts.h"

namespace {

// A plug-in whose loading takes longer is named as one that hangs; the job hosts allow more, but
// nobody waits for a dialog's row that long.
constexpr DWORD kAnswerBoundMs = 15000;
// Idle this long, a host of questions ends: the dialog that asked is long closed.
constexpr DWORD kIdleEndMs = 30000;

}  // namespace

TPluginInquiry::TPluginInquiry(const std::string& programFolder, const std::string& folder)
    : Host32_(programFolder + kHostFileName),
      Host64_(RunsX64Programs() ? std::make_unique<TPluginHost>(programFolder + kHost64FileName) : nullptr) {
    for (TPluginHost* host : {&Host32_, Host64_.get()}) {
        if (!host)
            continue;
        host->SetInquiry();
        host->SetPluginFolder(folder);
        host->SetIdleEnd(kIdleEndMs);
    }
}

TPluginHost& TPluginInquiry::HostFor(const TPluginRow& row) {
    return row.Wide() && Host64_ ? *Host64_ : Host32_;
}

void TPluginInquiry::Ask(TPluginRow& row) {
    row.Answered = true;
    if (row.Wide() && !Host64_) {
        row.Facts = {};
        row.Facts.LoadError = ERROR_EXE_MACHINE_TYPE_MISMATCH;
        return;
    }
    TExtractOutcome failure;
    const auto ask = [&] {
        return HostFor(row).Inquire(TMessageKind::kInquire, EncodeQuestion({row.FileName}), TMessageKind::kFacts,
                                    kAnswerBoundMs, failure);
    };
    std::optional<std::vector<char>> answer = ask();
    // A host that ended inside none of the plug-ins' code (stuck on its way out, say) is asked once more.
    if (!answer && failure.Failure.Kind == TFailureKind::kHostEnded)
        answer = ask();
    const std::optional<TPluginFacts> facts = answer ? DecodeFacts(*answer) : std::nullopt;
    if (facts) {
        row.Facts = *facts;
        return;
    }
    row.Facts = {};
    row.AskFailure = failure.Failure.Kind == TFailureKind::kNone ? TFailureKind::kHostEnded : failure.Failure.Kind;
}

bool TPluginInquiry::Configure(const TPluginRow& row, HWND owner) {
    if (row.Wide() && !Host64_)
        return false;
    TExtractOutcome failure;
    const TPluginQuestion question{row.FileName, reinterpret_cast<uintptr_t>(owner)};
    const std::optional<std::vector<char>> answer =
        HostFor(row).Inquire(TMessageKind::kConfigure, EncodeQuestion(question), TMessageKind::kConfigured, 0, failure);
    return answer && answer->size() == 1 && (*answer)[0] == 0;
}

void TPluginInquiry::Terminate() {
    Host32_.Terminate();
    if (Host64_)
        Host64_->Terminate();
}
