#include "jobs/PluginHosts.h"

#include "base/PathText.h"
#include "base/Owned.h"
#include "engine/PluginList.h"
#include "engine/Progress.h"

namespace {

std::string Joined(const std::string& first, const std::string& second) {
    return first.empty() || second.empty() ? first + second : first + ", " + second;
}

}  // namespace

bool RunsX64Programs() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

// The caller's progress, also canceled once Terminate named the job: a cancel that lands between two
// hosts' parts still stops the next one.
class TPluginHosts::TJobProgress final : public TProgress {
public:
    TJobProgress(const TPluginHosts& hosts, TProgress* caller, uint64_t job) : Hosts(hosts), Caller(caller), Job(job) {}
    void Report(int level, int levels, double fraction) override {
        if (Caller)
            Caller->Report(level, levels, fraction);
    }
    bool Canceled() const override { return Hosts.CanceledJob_ == Job || (Caller && Caller->Canceled()); }

private:
    const TPluginHosts& Hosts;
    TProgress* Caller;
    uint64_t Job;
};

TPluginHosts::TPluginHosts(std::string hostPath, std::string host64Path, std::string recordFile)
    : Record_(recordFile),
      Host32_(std::move(hostPath), recordFile),
      Host64_(host64Path.empty() ? nullptr : std::make_unique<TPluginHost>(std::move(host64Path), recordFile)) {}

std::unique_ptr<TPluginHosts> TPluginHosts::Beside(const std::string& folder) {
    return std::make_unique<TPluginHosts>(folder + kHostFileName,
                                          RunsX64Programs() ? folder + kHost64FileName : std::string());
}

template <typename TUse>
auto TPluginHosts::AsJob(TProgress* progress, TUse use) {
    const std::lock_guard<std::mutex> one(Extraction_);
    // Numbered before anything is done, so that Terminate names it in each host it has yet to use.
    Job_ = ++Jobs_;
    TJobProgress watched(*this, progress, Job_);
    try {
        SweepOnce();
        auto result = use(watched);
        Job_ = 0;
        return result;
    } catch (...) {
        Job_ = 0;
        throw;
    }
}

TExtractOutcome TPluginHosts::Extract(const std::string& sourcePath, const std::string& destPath, TProgress* progress) {
    return AsJob(progress, [&](TProgress& watched) { return Run(sourcePath, destPath, watched); });
}

TExtractOutcome TPluginHosts::List(const std::string& sourcePath, TListingSink& sink, TProgress* progress) {
    return AsJob(progress, [&](TProgress& watched) { return Run(sourcePath, {}, watched, &sink); });
}

bool TPluginHosts::WarmUp(TProgress* progress) {
    return AsJob(progress, [&](TProgress& watched) {
        const TWidths widths = Widths(UseFolder());
        if (widths.Narrow && Narrow_ == &Host32_ && Host32_.WarmUp(&watched).Failure.Kind == TFailureKind::kCanceled)
            return false;
        // Ended once the first was ready, the second start is never made.
        return !widths.Wide || Host64_->WarmUp(&watched).Failure.Kind != TFailureKind::kCanceled;
    });
}

void TPluginHosts::SweepOnce() {
    if (!Swept_)
        Swept_ = Record_.Sweep();
}

TPluginHosts::TWidths TPluginHosts::Widths(const std::string& folder) const {
    return {!PluginFileNames(folder, "*.spi", 1).empty(), Host64_ && !PluginFileNames(folder, "*.sph", 1).empty()};
}

std::string TPluginHosts::UseFolder() {
    const std::string folder = PluginFolder_.empty() ? FindPluginFolder().Path : PluginFolder_;
    Host32_.SetPluginFolder(folder);
    if (Host64_)
        Host64_->SetPluginFolder(folder);
    return folder;
}

TExtractOutcome TPluginHosts::Run(const std::string& sourcePath,
                                  const std::string& destPath,
                                  TProgress& progress,
                                  TListingSink* listing) {
    const std::string folder = UseFolder();
    const auto [narrow, wide] = Widths(folder);
    TChainPart* const first = wide && !narrow ? Host64_.get() : Narrow_;
    TChainPart* const second = wide && narrow ? Host64_.get() : nullptr;
    TChainPart* host = first;
    TChainPart* other = second;
    TExtractRequest request{sourcePath, destPath, other ? 1u : 0u};
    request.List = listing != nullptr;
    UniqueHandle section;
    std::string skipped;
    for (;;) {
        THostResult result = host->Extract(request, section.Get(), &progress, listing);
        TFailure& failure = result.Outcome.Failure;
        // A host that let a level go (idle, or ended) which the other still names by its serial: the job
        // goes again from the start, every level crossing with its bytes.
        if (failure.Kind == TFailureKind::kNotKept && !request.Afresh) {
            request = {sourcePath, destPath, second ? 1u : 0u};
            request.Afresh = true;
            request.List = listing != nullptr;
            section.Reset();
            skipped.clear();
            host = first;
            other = second;
            continue;
        }
        if (!result.HandOver) {
            if (failure.Kind == TFailureKind::kNoPlugin) {
                failure.Skipped = Joined(skipped, failure.Skipped);
                if (!Host64_)
                    failure.Unusable = PluginFileNames(folder, "*.sph", 10);
            }
            // A host that died knows no place: the job's path is it.
            if (!result.Outcome.Succeeded() && result.Outcome.Component.empty())
                result.Outcome.Component = sourcePath;
            return result.Outcome;
        }
        // The level goes on in the other host; one on disk is read there from the start.
        TLevelHandOver& handOver = *result.HandOver;
        section = std::move(handOver.Section);
        request.Serial = handOver.Serial;
        request.Size = handOver.Size;
        request.Level = std::move(handOver.Level);
        request.FirstHandOver = static_cast<uint32_t>(request.Level.Level + 1);
        skipped = Joined(skipped, handOver.Skipped);
        std::swap(host, other);
    }
}

void TPluginHosts::SetPluginFolder(const std::string& folder) {
    const std::lock_guard<std::mutex> one(Extraction_);
    PluginFolder_ = folder.empty() ? std::string() : FolderWithSeparator(folder);
}

void TPluginHosts::Renew() {
    Host32_.Renew();
    if (Host64_)
        Host64_->Renew();
}

std::vector<TPluginStanding> TPluginHosts::Standing() const {
    std::vector<TPluginStanding> standing = Host32_.Standing();
    if (Host64_) {
        const std::vector<TPluginStanding> wide = Host64_->Standing();
        standing.insert(standing.end(), wide.begin(), wide.end());
    }
    return standing;
}

void TPluginHosts::SetStartHangBound(DWORD ms) {
    const std::lock_guard<std::mutex> one(Extraction_);
    Host32_.SetStartHangBound(ms);
    if (Host64_)
        Host64_->SetStartHangBound(ms);
}

void TPluginHosts::Terminate() {
    CanceledJob_ = Job_.load();
    Host32_.Terminate();
    if (Host64_)
        Host64_->Terminate();
}

ULONGLONG TPluginHosts::RunningMs() const {
    return std::max(Host32_.RunningMs(), Host64_ ? Host64_->RunningMs() : 0);
}
