// The resident program's side of the plug-in host: extractions with the shape of ExtractPath, run
// in KelvaneHost.exe. The host starts on first need and is reused; when it dies during a job, that
// job fails naming the plug-in it died in, what it left behind is removed, and the next job starts
// a fresh host. A plug-in that has crashed twice is left out of every later host. A cancel is the
// user's choice and counts against nothing, also when it ends a host inside a plug-in's start-up
// (loading runs its code, which may take long on a slow disk). A start that stays inside one
// plug-in's loading for the start's bound (30 s) is ended and counts as a crash of it, so that a
// plug-in whose loading hangs cannot block every later job. A crash while a plug-in
// was given an archive in memory counts nothing: some crash so on what they read well from disk. The
// plug-in is given temporary copies in every later host, and the job is run again in a fresh one.
// A host may be started ahead of its first job, which then finds it ready; idle long enough, it ends
// by itself and the next job or warm-up starts a fresh one.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/Owned.h"
#include "engine/ExtractOutcome.h"
#include "host/Channel.h"
#include "jobs/ChainPart.h"
#include "jobs/PluginStanding.h"
#include "jobs/TemporaryRecord.h"

class TProgress;

// Beside the resident program; only that copy is ever started.
inline constexpr char kHostFileName[] = "KelvaneHost.exe";

class TPluginHost final : public TChainPart {
public:
    static constexpr int kCrashesBeforeSkipping = 2;
    // A host idle this long ends by itself. A user's jobs of one sitting come closer together, and the
    // drop handler warms the host while the menu is open, so a later first job seldom waits for it;
    // meanwhile no plug-in stays loaded, its file locked and its memory held, for nobody.
    static constexpr DWORD kIdleEndMs = 5 * 60 * 1000;
    // A host's start that stays this long inside the loading of one plug-in is ended as hung: long
    // enough for a plug-in that reads a big table from a slow disk.
    static constexpr DWORD kStartHangMs = 30 * 1000;

    // recordFile: where hosts' temporaries are noted. Whoever starts hosts sweeps it first, off the
    // window's thread (TPluginHosts does).
    explicit TPluginHost(std::string hostPath, std::string recordFile = TTemporaryRecord::DefaultFile());
    TPluginHost(const TPluginHost&) = delete;
    TPluginHost& operator=(const TPluginHost&) = delete;
    ~TPluginHost();

    // One extraction at a time: a second caller waits for the first. While the host works, progress
    // (may be null) hears how far it has come, at most about ten times a second and on this thread.
    // Once progress says canceled, the plug-in is asked to stop at its next callback; a job that
    // has not ended 2 s later (a plug-in that never calls back, or goes on) is ended with the host,
    // as Terminate ends it. Either way the job is canceled.
    TExtractOutcome Extract(const std::string& sourcePath, const std::string& destPath, TProgress* progress = nullptr);
    // The same for the host's part of a job across both widths; request.Section is filled in here.
    THostResult Extract(TExtractRequest request, HANDLE section, TProgress* progress, TListingSink* listing) override;

    // Starts the host, unless it is starting or ready, so that the next job finds it ready: a start
    // as a job makes it, its failure (a plug-in that crashes or is ended while loading) counted
    // alike. Once progress (may be null) says canceled, the host is ended 2 s later; canceled
    // before, none is started. The start's failure, kCanceled when Terminate or the progress ended
    // it; succeeded when the host is ready.
    TExtractOutcome WarmUp(TProgress* progress = nullptr);

    // The plug-ins' folder; empty (the default) for the one FindPluginFolder names. A host that holds
    // another folder's ends before the next job.
    void SetPluginFolder(std::string folder);
    // The plug-ins' settings have changed: a host started before ends before the next job, which
    // starts a fresh one. Safe from any thread.
    void Renew() { Stale_ = true; }
    // How long hosts started from now on may stay idle before they end by themselves.
    void SetIdleEnd(DWORD ms) { IdleEndMs_ = ms; }
    // How long a start may stay inside one plug-in's loading before it is ended as hung.
    void SetStartHangBound(DWORD ms) { StartHangMs_ = ms; }

    // Hosts started from now on load no plug-in at their start and only answer Inquire.
    void SetInquiry() { Inquiry_ = true; }
    // Asks such a host one question and returns its answer, of the kind expected. A host that has not
    // answered boundMs after it was asked (0: no bound) is ended as hung. None when it died, hung, or
    // answered otherwise: failure then says so, naming the plug-in it was in.
    std::optional<std::vector<char>> Inquire(TMessageKind kind,
                                             const std::vector<char>& question,
                                             TMessageKind answer,
                                             DWORD boundMs,
                                             TExtractOutcome& failure);

    // What the hosts have made of plug-ins so far. Safe from any thread.
    std::vector<TPluginStanding> Standing() const;

    // Ends the host now, in whatever state it is, its start included; the running extraction, if
    // any, returns as canceled and is not tried again. Safe from any thread.
    void Terminate();
    // How long the running extraction has taken so far, the host's start included; 0 when none runs.
    ULONGLONG RunningMs() const;

private:
    // The host's life. The thread that runs the extraction moves it on; Terminate, from any thread,
    // only ends the process and marks the extraction, under the same lock.
    enum class TState {
        kNone,      // no host
        kStarting,  // being made, or loading its plug-ins
        kReady,     // idle
        kRunning,   // working on an extraction
        kEnding,    // told to go, or being ended
    };

    // What the waits of one extraction look after: the caller's progress and its cancel.
    struct TWatch {
        TProgress* Progress = nullptr;
        ULONGLONG LastReport = 0;
        ULONGLONG CanceledAt = 0;  // when the caller's cancel was first seen; 0 until then
        std::string Loading;       // the plug-in the starting host was last seen loading
        ULONGLONG LoadingSince = 0;
        ULONGLONG AskedAt = 0;  // when the request was sent; 0 once the host has taken it
        ULONGLONG AnswerBy = 0;  // when an unanswered question counts as hung; 0 for never
    };

    // Runs one use of the host, an extraction or a warm-up, as the one at a time.
    template <typename TUse>
    auto AsJob(TProgress* progress, TUse use);
    THostResult Run(TExtractRequest& request, HANDLE section, TWatch& watch, TListingSink* listing);
    THostResult RunOnce(TExtractRequest& request, HANDLE section, TWatch& watch, TListingSink* listing);
    // A host that has gone while idle (ended from outside, or by itself), or that holds plug-ins of
    // settings since changed, is replaced before use.
    void DropIfGone();
    bool Start(TExtractOutcome& failure, TWatch& watch);
    // Puts the level's section into the host, names it in the request and asks; the reply is an
    // outcome or a hand-over. A listing's pieces, which come first, go to listing.
    bool Ask(TExtractRequest& request,
             HANDLE section,
             TMessageKind& kind,
             std::vector<char>& reply,
             TWatch& watch,
             TListingSink* listing);
    // The hand-over in reply, its section taken out of the host; none when it is malformed or hands
    // on a level before firstLevel.
    std::optional<TLevelHandOver> TakeHandOver(const std::vector<char>& reply, uint32_t firstLevel);
    // Receives the host's next message, looking after the watch meanwhile; job: the request
    // waited on, 0 while the host starts.
    bool Await(TMessageKind& kind, std::vector<char>& message, unsigned spinMicroseconds, TWatch& watch, uint32_t job);
    void Tick(TWatch& watch, uint32_t job);
    // Ends the starting host once it has stayed inside one plug-in's loading for the bound.
    void WatchStart(TWatch& watch, ULONGLONG now);
    // Ends the host once it has left a request untaken for long: it no longer serves.
    void WatchTaken(TWatch& watch, ULONGLONG now);
    TExtractOutcome Died();
    void Stop() noexcept;
    // Tells the host to go, or ends it; it no longer runs (or writes to the channel) afterwards.
    void End() noexcept;
    // Closes the channel and the process handle: no host.
    void Release() noexcept;
    // Notes a folder the host may write in, before it may.
    void NoteFolder(const std::string& folder);
    // What the ended host left, in every folder it was given; its handle is still open.
    void RemoveTemporaries() noexcept;

    void BeginJob();
    void EndJob();
    // Whether Terminate ended the running extraction.
    bool Canceled() const;
    bool CanceledLocked() const;
    // Moves the host's life on for the running extraction; a canceled one goes no further.
    bool Advance(TState from, TState to);
    void SetState(TState state);
    TState State() const;

    std::vector<std::string> PluginsToSkip() const;
    void CountCrash(const std::string& plugin, bool hung);
    // Whether the plug-in is new to the given copies; it is there afterwards.
    bool GiveCopies(const std::string& plugin, TLearnt why);
    std::vector<std::string> GivenCopies() const;

    TChannelMemory& Memory() const { return *static_cast<TChannelMemory*>(View_.Get()); }

    std::string HostPath_;
    std::string PluginFolder_;
    std::atomic<bool> Stale_{false};
    DWORD IdleEndMs_ = kIdleEndMs;
    DWORD StartHangMs_ = kStartHangMs;
    std::mutex Extraction_;

    // Guards what Terminate and RunningMs read from other threads.
    mutable std::mutex Life_;
    TState State_ = TState::kNone;
    UniqueHandle Host_;
    uint64_t Jobs_ = 0;         // extractions begun so far; each one's number
    uint64_t Job_ = 0;          // the running extraction's number; 0 when none runs
    uint64_t CanceledJob_ = 0;  // the last extraction that Terminate ended
    ULONGLONG JobSince_ = 0;

    // The thread that runs the extraction alone uses these.
    DWORD HostId_ = 0;
    std::string HostToken_;                 // carried by the names of the host's temporaries
    struct THostFolder {
        std::string Path;
        bool Noted;  // in the record; one that is not yet is noted with the next folder
    };
    std::vector<THostFolder> HostFolders_;  // where it may have left them
    TTemporaryRecord Record_;
    UniqueHandle Section_;  // the channel, shared with the host alone
    UniqueWritableView View_;
    UniqueHandle RequestReady_;
    UniqueHandle ReplyReady_;
    std::optional<TChannelEnd> Channel_;
    struct TCrashes {
        std::string Plugin;
        int Count;
        bool Hung;  // one of them was a start that hung
    };
    // Written by the thread that runs the extraction, read by Standing from any thread.
    mutable std::mutex Learnt_;
    std::vector<TCrashes> Crashes_;
    std::vector<TPluginStanding> GivenCopies_;
    bool Inquiry_ = false;
    bool StartHung_ = false;     // the last host was ended as its start hung
    bool CopiesLearnt_ = false;  // the last host died as a plug-in crashed with memory input, for the first time
};
