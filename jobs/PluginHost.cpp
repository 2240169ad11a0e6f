#include "jobs/PluginHost.h"

#include <algorithm>
#include <utility>

#include "base/ChildProcess.h"
#include "base/HandedSection.h"
#include "base/SystemPath.h"
#include "engine/JobPaths.h"
#include "engine/Progress.h"
#include "engine/Temporary.h"

namespace {

// How long a host that was told to go may take before it is ended.
constexpr DWORD kGoodbyeMs = 2000;
// Replies to small jobs come within this; watching for them saves a sleep and a wake-up.
constexpr unsigned kSpinMicroseconds = 100;
// A long job's wait wakes this often to look for the caller's cancel: with a plug-in that calls back
// every 50 ms, a cancel then ends the job within about 100 ms.
constexpr DWORD kTickMs = 50;
// The caller hears of progress at most this often.
constexpr ULONGLONG kReportMs = 100;
// How long a plug-in asked to stop may go on before its host is ended.
constexpr ULONGLONG kCancelGraceMs = 2000;
// An idle host takes a request at once, also on a busy machine; one that has not taken it this long
// later serves no more (stuck on its way out, say) and is ended, so that a fresh one is asked.
constexpr ULONGLONG kTakeRequestMs = 5000;

TExtractOutcome Failure(TFailureKind kind, const std::string& plugin = {}) {
    TExtractOutcome outcome;
    outcome.Failure.Kind = kind;
    outcome.Failure.Plugin = plugin;
    return outcome;
}

}  // namespace

TPluginHost::TPluginHost(std::string hostPath, std::string recordFile)
    : HostPath_(std::move(hostPath)), Record_(std::move(recordFile)) {}

TPluginHost::~TPluginHost() {
    Stop();
}

TExtractOutcome TPluginHost::Extract(const std::string& sourcePath, const std::string& destPath, TProgress* progress) {
    return Extract({sourcePath, destPath}, nullptr, progress, nullptr).Outcome;
}

template <typename TUse>
auto TPluginHost::AsJob(TProgress* progress, TUse use) {
    const std::lock_guard<std::mutex> one(Extraction_);
    BeginJob();
    try {
        TWatch watch;
        watch.Progress = progress;
        auto result = use(watch);
        EndJob();
        return result;
    } catch (...) {
        // Whatever failed on the way, the host may still hold the job or its reply: it goes too.
        Stop();
        EndJob();
        throw;
    }
}

THostResult TPluginHost::Extract(TExtractRequest request, HANDLE section, TProgress* progress, TListingSink* listing) {
    request.List = listing != nullptr;
    return AsJob(progress, [&](TWatch& watch) { return Run(request, section, watch, listing); });
}

TExtractOutcome TPluginHost::WarmUp(TProgress* progress) {
    // Counted as a job, so that Terminate ends it as it ends a job's start.
    return AsJob(progress, [&](TWatch& watch) {
        TExtractOutcome outcome;
        DropIfGone();
        if (State() == TState::kReady)
            return outcome;
        // Canceled before the start, as the exit that comes between two hosts' warm-ups: none is made.
        if (progress && progress->Canceled())
            return Failure(TFailureKind::kCanceled);
        Start(outcome, watch);
        return outcome;
    });
}

void TPluginHost::SetPluginFolder(std::string folder) {
    if (folder == PluginFolder_)
        return;
    PluginFolder_ = std::move(folder);
    Stale_ = true;
}

void TPluginHost::DropIfGone() {
    // Only this thread closes the handle. A host that ended itself while idle was inside no
    // plug-in: Died counts no crash, and removes whatever it left.
    if (State() == TState::kReady && ::WaitForSingleObject(Host_.Get(), 0) == WAIT_OBJECT_0)
        Died();
    // Told to go as at the exit: its plug-ins unload, and whatever they keep is saved.
    if (Stale_.exchange(false) && State() == TState::kReady)
        Stop();
}

THostResult TPluginHost::Run(TExtractRequest& request, HANDLE section, TWatch& watch, TListingSink* listing) {
    THostResult result;
    // The channel carries only what the engine takes; what it would refuse is refused here, in words.
    if (request.List ? !SourceFits(request.Source, result.Outcome)
                     : !JobPathsFit(request.Source, request.Destination, result.Outcome))
        return result;
    // Each run again gives one more plug-in copies, so there are few.
    do {
        CopiesLearnt_ = false;
        result = RunOnce(request, section, watch, listing);
    } while (CopiesLearnt_ && !Canceled());
    return result;
}

THostResult TPluginHost::RunOnce(TExtractRequest& request, HANDLE section, TWatch& watch, TListingSink* listing) {
    THostResult result;
    TExtractOutcome& outcome = result.Outcome;
    DropIfGone();
    // Canceled before the host had the job: it never gets it. Canceled before its start (while it
    // waited for a warm-up's, say), no host is started for it.
    const auto canceled = [&] { return watch.Progress && watch.Progress->Canceled(); };
    if (!canceled() && State() != TState::kReady && !Start(outcome, watch))
        return result;
    if (canceled())
        return {Failure(TFailureKind::kCanceled)};
    // A listing writes nowhere but in the temporary folder, noted at the host's start.
    if (!request.List)
        NoteFolder(FolderOf(request.Destination));
    TMessageKind kind = TMessageKind::kQuit;
    std::vector<char> reply;
    bool answered = Ask(request, section, kind, reply, watch, listing);
    // A host that went while it was asked never took the request: a fresh one is asked once more.
    // A canceled extraction is not.
    if (!answered && Memory().Requests.Full && !Canceled()) {
        Died();
        if (!Start(outcome, watch))
            return result;
        // The one that went took its folders with it.
        if (!request.List)
            NoteFolder(FolderOf(request.Destination));
        answered = Ask(request, section, kind, reply, watch, listing);
    }
    // A host that answers nonsense is ended like one that died.
    if (answered && kind == TMessageKind::kOutcome) {
        std::vector<std::string> givenCopies;
        if (std::optional<TExtractOutcome> decoded = DecodeOutcome(reply, &givenCopies)) {
            // What the host learnt, the next one is told at its start.
            for (const std::string& plugin : givenCopies)
                GiveCopies(plugin, TLearnt::kRefusesMemory);
            return {std::move(*decoded)};
        }
    } else if (answered && kind == TMessageKind::kHandOver) {
        if (std::optional<TLevelHandOver> handOver = TakeHandOver(reply, request.FirstHandOver))
            return {TExtractOutcome{}, std::move(handOver)};
    }
    return {Died()};
}

std::optional<std::vector<char>> TPluginHost::Inquire(TMessageKind kind,
                                                      const std::vector<char>& question,
                                                      TMessageKind answer,
                                                      DWORD boundMs,
                                                      TExtractOutcome& failure) {
    return AsJob(nullptr, [&](TWatch& watch) -> std::optional<std::vector<char>> {
        DropIfGone();
        if (State() != TState::kReady && !Start(failure, watch))
            return std::nullopt;
        if (!Advance(TState::kReady, TState::kRunning)) {
            failure = Failure(TFailureKind::kCanceled);
            return std::nullopt;
        }
        // A plug-in's own dialog may come to the front only when this program lets it.
        if (kind == TMessageKind::kConfigure)
            ::AllowSetForegroundWindow(HostId_);
        watch.AskedAt = ::GetTickCount64();
        watch.AnswerBy = boundMs ? watch.AskedAt + boundMs : 0;
        TMessageKind got = TMessageKind::kQuit;
        std::vector<char> reply;
        if (Channel_->Send(kind, question) && Await(got, reply, kSpinMicroseconds, watch, Channel_->LastNumber()) &&
            got == answer) {
            SetState(TState::kReady);
            return reply;
        }
        failure = Died();
        return std::nullopt;
    });
}

bool TPluginHost::Start(TExtractOutcome& failure, TWatch& watch) {
    if (!Advance(TState::kNone, TState::kStarting)) {
        failure = Failure(TFailureKind::kCanceled);
        return false;
    }
    UniqueHandle section(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(TChannelMemory), nullptr));
    UniqueHandle requestReady(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    UniqueHandle replyReady(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    // The host watches this process and ends with it, so a host stuck in a plug-in never outlives us.
    HANDLE self = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &self, SYNCHRONIZE, FALSE,
                      0);
    UniqueHandle parent(self);
    UniqueWritableView view(section ? ::MapViewOfFile(section.Get(), FILE_MAP_WRITE, 0, 0, sizeof(TChannelMemory))
                                    : nullptr);
    const std::vector<char> start = EncodeStart({PluginFolder_, PluginsToSkip(), GivenCopies(), IdleEndMs_, Inquiry_});
    std::string token = NewTemporaryToken();

    TChildProcess child;
    child.Error = ::GetLastError();
    if (view && requestReady && replyReady && parent)
        child = StartInheriting(
            HostPath_, HostCommandLine(HostPath_, section.Get(), requestReady.Get(), replyReady.Get(), parent.Get(), token),
            {section.Get(), requestReady.Get(), replyReady.Get(), parent.Get()}, CREATE_NO_WINDOW);
    if (!child.Process) {
        SetState(TState::kNone);
        failure = Failure(TFailureKind::kHostEnded);
        failure.Failure.Win32Error = child.Error;
        failure.Failure.File = HostPath_;
        return false;
    }
    {
        const std::lock_guard<std::mutex> guard(Life_);
        Host_ = std::move(child.Process);
        // Canceled while the process was being made, when there was nothing to end yet.
        if (CanceledLocked())
            ::TerminateProcess(Host_.Get(), 1);
    }
    HostId_ = child.Id;
    HostToken_ = std::move(token);
    NoteFolder(UserTemporaryFolder());
    Section_ = std::move(section);
    View_ = std::move(view);
    RequestReady_ = std::move(requestReady);
    ReplyReady_ = std::move(replyReady);
    Channel_.emplace(TChannelSide::kAsking, Memory().Requests, RequestReady_.Get(), Memory().Replies, ReplyReady_.Get(),
                     Host_.Get());
    // The host answers once its plug-ins are loaded; loading runs their start-up code, which may
    // crash or never return.
    TMessageKind kind = TMessageKind::kQuit;
    std::vector<char> ready;
    if (Channel_->Send(TMessageKind::kStart, start) && Await(kind, ready, 0, watch, 0) &&
        kind == TMessageKind::kStart && Advance(TState::kStarting, TState::kReady))
        return true;
    failure = Died();
    return false;
}

bool TPluginHost::Ask(TExtractRequest& request,
                      HANDLE section,
                      TMessageKind& kind,
                      std::vector<char>& reply,
                      TWatch& watch,
                      TListingSink* listing) {
    if (!Advance(TState::kReady, TState::kRunning))
        return false;
    // The host's copy of the handle is its own to close; should it die before, it goes with it.
    HANDLE inHost = nullptr;
    if (section && !::DuplicateHandle(::GetCurrentProcess(), section, Host_.Get(), &inHost, 0, FALSE,
                                      DUPLICATE_SAME_ACCESS))
        return false;
    request.Section = reinterpret_cast<uintptr_t>(inHost);
    watch.AskedAt = ::GetTickCount64();
    if (!Channel_->Send(TMessageKind::kExtract, EncodeExtract(request)) ||
        !Await(kind, reply, kSpinMicroseconds, watch, Channel_->LastNumber()))
        return false;
    // Each piece is asked for in turn, so that no listing needs more than a message's room.
    while (kind == TMessageKind::kListed && listing) {
        if (!ReadListingPiece(reply, *listing) || !Channel_->Send(TMessageKind::kListMore, {}) ||
            !Await(kind, reply, kSpinMicroseconds, watch, Channel_->LastNumber()))
            return false;
    }
    if (kind != TMessageKind::kOutcome && kind != TMessageKind::kHandOver)
        return false;
    // Answered: a cancel that comes now finds the job done, and ends only the idle host.
    SetState(TState::kReady);
    return true;
}

std::optional<TLevelHandOver> TPluginHost::TakeHandOver(const std::vector<char>& reply, uint32_t firstLevel) {
    std::optional<THandOver> decoded = DecodeHandOver(reply);
    // Only the levels the request let go may come back: each hand-over goes deeper.
    if (!decoded || firstLevel == 0 || static_cast<uint32_t>(decoded->Level.Level) < firstLevel)
        return std::nullopt;
    TLevelHandOver handOver{{}, decoded->Serial, decoded->Size, std::move(decoded->Level), std::move(decoded->Skipped)};
    if (!decoded->Section)
        return handOver;
    // Taken out of the host, which never closes it itself: only read access, whatever it had there.
    handOver.Section = TakeSection(Host_.Get(), decoded->Section);
    if (!handOver.Section)
        return std::nullopt;
    return handOver;
}

bool TPluginHost::Await(TMessageKind& kind,
                        std::vector<char>& message,
                        unsigned spinMicroseconds,
                        TWatch& watch,
                        uint32_t job) {
    // Watched also when nobody waits for the job: a start for a hang, a request for being taken.
    return Channel_->Receive(
        kind, message, spinMicroseconds,
        [&] {
            Tick(watch, job);
            return true;
        },
        kTickMs);
}

void TPluginHost::Tick(TWatch& watch, uint32_t job) {
    const ULONGLONG now = ::GetTickCount64();
    if (!job)
        WatchStart(watch, now);
    else
        WatchTaken(watch, now);
    if (watch.AnswerBy && now >= watch.AnswerBy && !StartHung_) {
        // Counted and named as a start that hung: the question was whether the plug-in loads.
        StartHung_ = true;
        const std::lock_guard<std::mutex> guard(Life_);
        ::TerminateProcess(Host_.Get(), 1);
    }
    if (!watch.Progress)
        return;
    if (job && now - watch.LastReport >= kReportMs) {
        if (const std::optional<TJobProgress> progress = ReadProgress(Memory().Progress, job)) {
            watch.Progress->Report(progress->Level, progress->Levels, progress->Permille / 1000.0);
            watch.LastReport = now;
        }
    }
    if (!watch.CanceledAt) {
        if (!watch.Progress->Canceled())
            return;
        watch.CanceledAt = now;
    }
    // The host's callback answers it from the plug-in's next call on; a host still starting is left
    // to finish its start and then gets no job.
    if (job)
        RequestCancel(Memory(), job);
    if (now - watch.CanceledAt >= kCancelGraceMs)
        Terminate();
}

void TPluginHost::WatchStart(TWatch& watch, ULONGLONG now) {
    // Each plug-in loaded, and each return to the host's own code between them, is progress.
    std::string loading = PluginInside(Memory().Status);
    if (loading != watch.Loading || watch.LoadingSince == 0) {
        watch.Loading = std::move(loading);
        watch.LoadingSince = now;
        return;
    }
    if (watch.Loading.empty() || now - watch.LoadingSince < StartHangMs_ || StartHung_)
        return;
    StartHung_ = true;
    const std::lock_guard<std::mutex> guard(Life_);
    ::TerminateProcess(Host_.Get(), 1);
}

void TPluginHost::WatchTaken(TWatch& watch, ULONGLONG now) {
    if (!watch.AskedAt || !Memory().Requests.Full) {
        watch.AskedAt = 0;
        return;
    }
    if (now - watch.AskedAt < kTakeRequestMs)
        return;
    // Ended as one that went while it was asked: it never took the request, so a fresh one is.
    watch.AskedAt = 0;
    const std::lock_guard<std::mutex> guard(Life_);
    ::TerminateProcess(Host_.Get(), 1);
}

TExtractOutcome TPluginHost::Died() {
    End();
    const std::string plugin = View_ ? PluginInside(Memory().Status) : std::string();
    const bool memoryInput = View_ && InsideWithMemoryInput(Memory().Status);
    Release();
    const bool hung = std::exchange(StartHung_, false);
    const bool canceled = Canceled();
    if (!plugin.empty() && memoryInput && !canceled && GiveCopies(plugin, TLearnt::kCrashedOnMemory))
        CopiesLearnt_ = true;
    else if (!plugin.empty() && (hung || !canceled))
        CountCrash(plugin, hung);
    if (canceled)
        return Failure(TFailureKind::kCanceled);
    if (plugin.empty())
        return Failure(TFailureKind::kHostEnded);
    return Failure(hung ? TFailureKind::kPluginHung : TFailureKind::kPluginCrashed, plugin);
}

void TPluginHost::Stop() noexcept {
    End();
    Release();
}

void TPluginHost::End() noexcept {
    {
        const std::lock_guard<std::mutex> guard(Life_);
        if (State_ == TState::kNone)
            return;
        State_ = TState::kEnding;
    }
    // Told to go, a host ends at once; one that does not (stuck in a plug-in) is ended. Only this
    // thread closes the handle, so it is used here without the lock.
    const HANDLE host = Host_.Get();
    const bool told = Channel_ && Channel_->Send(TMessageKind::kQuit, {});
    if (host && (!told || ::WaitForSingleObject(host, kGoodbyeMs) != WAIT_OBJECT_0)) {
        ::TerminateProcess(host, 1);
        ::WaitForSingleObject(host, kGoodbyeMs);
    }
    // While its handle is open, no other process can have its id.
    RemoveTemporaries();
}

void TPluginHost::Release() noexcept {
    Channel_.reset();
    View_.Reset();
    Section_.Reset();
    RequestReady_.Reset();
    ReplyReady_.Reset();
    HostId_ = 0;
    const std::lock_guard<std::mutex> guard(Life_);
    Host_.Reset();
    State_ = TState::kNone;
}

void TPluginHost::NoteFolder(const std::string& folder) {
    if (std::none_of(HostFolders_.begin(), HostFolders_.end(), [&](const THostFolder& given) {
            return SameName(given.Path, folder);
        }))
        HostFolders_.push_back({folder, false});
    // Noted before the host may write there, so that a kill of this program loses nothing. A record
    // that is busy or unreadable is not waited for: what it missed is noted with the next folder.
    for (THostFolder& given : HostFolders_)
        if (!given.Noted && !(given.Noted = Record_.Note(HostId_, HostToken_, given.Path)))
            break;
}

void TPluginHost::RemoveTemporaries() noexcept {
    try {
        // What the host left half-made: its temporary copies and the partial files beside destinations.
        for (const THostFolder& folder : HostFolders_)
            RemoveTemporariesOf(folder.Path, HostId_, HostToken_);
        HostFolders_.clear();
        // Its own entries go. Those of others wait for the next start's sweep: this may be the exit,
        // on the window's thread, and their folders may not answer.
        if (HostId_)
            Record_.Sweep(HostId_);
    } catch (...) {
        // Out of memory: the record keeps them for the next sweep.
    }
}

void TPluginHost::Terminate() {
    const std::lock_guard<std::mutex> guard(Life_);
    if (Job_)
        CanceledJob_ = Job_;
    if (Host_)
        ::TerminateProcess(Host_.Get(), 1);
}

ULONGLONG TPluginHost::RunningMs() const {
    const std::lock_guard<std::mutex> guard(Life_);
    return Job_ ? ::GetTickCount64() - JobSince_ : 0;
}

void TPluginHost::BeginJob() {
    const std::lock_guard<std::mutex> guard(Life_);
    Job_ = ++Jobs_;
    JobSince_ = ::GetTickCount64();
}

void TPluginHost::EndJob() {
    const std::lock_guard<std::mutex> guard(Life_);
    Job_ = 0;
    JobSince_ = 0;
}

bool TPluginHost::Canceled() const {
    const std::lock_guard<std::mutex> guard(Life_);
    return CanceledLocked();
}

bool TPluginHost::CanceledLocked() const {
    return Job_ && CanceledJob_ == Job_;
}

bool TPluginHost::Advance(TState from, TState to) {
    const std::lock_guard<std::mutex> guard(Life_);
    if (CanceledLocked() || State_ != from)
        return false;
    State_ = to;
    return true;
}

void TPluginHost::SetState(TState state) {
    const std::lock_guard<std::mutex> guard(Life_);
    State_ = state;
}

TPluginHost::TState TPluginHost::State() const {
    const std::lock_guard<std::mutex> guard(Life_);
    return State_;
}

void TPluginHost::CountCrash(const std::string& plugin, bool hung) {
    const std::lock_guard<std::mutex> guard(Learnt_);
    // File names, so without regard to case.
    for (TCrashes& crashes : Crashes_) {
        if (SameName(crashes.Plugin, plugin)) {
            ++crashes.Count;
            crashes.Hung = crashes.Hung || hung;
            return;
        }
    }
    Crashes_.push_back({plugin, 1, hung});
}

bool TPluginHost::GiveCopies(const std::string& plugin, TLearnt why) {
    const std::lock_guard<std::mutex> guard(Learnt_);
    for (const TPluginStanding& given : GivenCopies_)
        if (SameName(given.Plugin, plugin))
            return false;
    GivenCopies_.push_back({plugin, why});
    return true;
}

std::vector<std::string> TPluginHost::GivenCopies() const {
    const std::lock_guard<std::mutex> guard(Learnt_);
    std::vector<std::string> names;
    for (const TPluginStanding& given : GivenCopies_)
        names.push_back(given.Plugin);
    return names;
}

std::vector<TPluginStanding> TPluginHost::Standing() const {
    const std::lock_guard<std::mutex> guard(Learnt_);
    std::vector<TPluginStanding> standing;
    for (const TCrashes& crashes : Crashes_)
        if (crashes.Count >= kCrashesBeforeSkipping)
            standing.push_back({crashes.Plugin, crashes.Hung ? TLearnt::kHung : TLearnt::kCrashed});
    standing.insert(standing.end(), GivenCopies_.begin(), GivenCopies_.end());
    return standing;
}

std::vector<std::string> TPluginHost::PluginsToSkip() const {
    const std::lock_guard<std::mutex> guard(Learnt_);
    std::vector<std::string> skipped;
    for (const TCrashes& crashes : Crashes_)
        if (crashes.Count >= kCrashesBeforeSkipping)
            skipped.push_back(crashes.Plugin);
    return skipped;
}
