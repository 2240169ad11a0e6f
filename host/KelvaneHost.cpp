// KelvaneHost.exe: runs the plug-ins for the resident program, one extraction at a time, so that a
// plug-in that crashes or hangs costs one job and this process, never the resident program.
//   KelvaneHost CHANNEL REQUEST-READY REPLY-READY PARENT TOKEN
// (inherited handles: the channel's section, its two events, the resident program's process; the
// token that the names of its temporary files carry, so that the resident program can find them)
// It keeps the outer levels of its last job for the next one under the same archive, until it has
// been idle for a moment. A level that none of its plug-ins takes goes on in the host of the other
// width (KelvaneHost64.exe loads the *.sph, this the *.spi), and a job may start in a level that host
// handed on, which it keeps, as a chain of its own, for the next job that goes on from there. It ends when told to, at the first malformed message, when it has been idle for the time
// the start message names, or when the resident program has gone, even while a plug-in hangs. Only
// when told to does it end through the plug-ins' unloading, which the resident program waits for a
// bounded time: one whose unloading waits for good must not keep a host alive that takes no request.
// A host started for questions (the options dialog's, kelvane-extract's list) loads no plug-in at its
// start and takes no job: each question loads one plug-in, asks it, and unloads it again.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

#include "base/ChildProcess.h"
#include "base/Owned.h"
#include "base/PathText.h"
#include "base/ProcAddress.h"
#include "engine/Archive.h"
#include "engine/Crossing.h"
#include "engine/DestinationName.h"
#include "engine/KeptChain.h"
#include "engine/PluginActivity.h"
#include "engine/PluginFile.h"
#include "engine/PluginList.h"
#include "engine/Progress.h"
#include "engine/Temporary.h"
#include "host/Channel.h"
#include "host/LevelHandOver.h"

namespace {

constexpr int kMalformed = 2;
constexpr int kCrashed = 3;
// The next request usually follows the reply at once: watching for it this long saves a sleep and
// a wake-up, which cost about as much again through the wineserver.
constexpr unsigned kSpinMicroseconds = 500;
// Idle this long, the host lets the kept levels of its last job go: the queue has run dry, or the
// user has moved on, and neither memory nor a temporary copy should stay held for nothing.
constexpr DWORD kKeepIdleMs = 2000;

// A plug-in's crash ends this process at once: neither Windows' report nor Wine's debugger is
// started for it. The resident program learns from the call status which plug-in it was.
LONG WINAPI EndOnCrash(EXCEPTION_POINTERS*) {
    ::TerminateProcess(::GetCurrentProcess(), kCrashed);
    return EXCEPTION_CONTINUE_SEARCH;
}

// A handle value from the command line that names an open handle of this process.
HANDLE InheritedHandle(const char* text) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    return end && *end == '\0' ? HandleOfValue(value) : nullptr;
}

// Ends this process as it stands: not through the plug-ins' unloading, where one may wait for good,
// and not with ExitProcess, which on Windows needs the loader's lock that a plug-in stuck in its
// start-up holds.
[[noreturn]] void EndAtOnce(int code) {
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
    for (;;)
        ::Sleep(INFINITE);
}

struct TWatch {
    HANDLE Parent;
    HANDLE Running;
};

DWORD WINAPI EndWithParent(LPVOID param) {
    const TWatch& watch = *static_cast<const TWatch*>(param);
    ::SetEvent(watch.Running);
    ::WaitForSingleObject(watch.Parent, INFINITE);
    EndAtOnce(0);
}

// A new thread runs only once it has had the loader's lock: the watch must be running before any
// plug-in is loaded, or one stuck in its start-up would keep it from ever starting.
UniqueHandle StartWatch(HANDLE parent) {
    static TWatch watch;
    UniqueHandle running(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    watch = {parent, running.Get()};
    UniqueHandle thread(running ? ::CreateThread(nullptr, 0, EndWithParent, &watch, 0, nullptr) : nullptr);
    const HANDLE started[] = {running.Get(), thread.Get()};
    if (thread && ::WaitForMultipleObjects(2, started, FALSE, INFINITE) != WAIT_OBJECT_0)
        thread.Reset();
    return thread;
}

// One job's progress, left in the channel for the resident program to sample, and its cancel, read
// from there: a few stores and a load, however often a plug-in calls back.
class TChannelProgress final : public TProgress {
public:
    TChannelProgress(TChannelMemory& memory, uint32_t job) : Memory(memory), Job(job) {}
    void Report(int level, int levels, double fraction) override {
        WriteProgress(Memory.Progress, Job, level, levels, fraction);
    }
    bool Canceled() const override { return CancelRequested(Memory, Job); }

private:
    TChannelMemory& Memory;
    uint32_t Job;
};

// A question names a plug-in of the folder by its file name alone: nothing else is ever loaded.
bool NamesPluginFile(const std::string& fileName) {
    return IsFileName(fileName) && PluginNameBits(fileName) != 0;
}

// Answers a question about one plug-in: loading it runs its start-up code, and asking its texts and
// running its dialog run more; the call status names it all the while, and it is unloaded before
// the answer, so that its crash in any of these is its own.
bool Answer(TChannelEnd& channel, const std::string& folder, TMessageKind kind, const std::vector<char>& payload) {
    const std::optional<TPluginQuestion> question = DecodeQuestion(payload);
    if (!question || !NamesPluginFile(question->FileName))
        return false;
    std::vector<char> answer;
    {
        const TPluginCall call(question->FileName);
        TPluginFile file(FolderWithSeparator(folder) + question->FileName, TPluginTexts::kAll);
        if (kind == TMessageKind::kInquire) {
            answer = EncodeFacts(file.Facts());
        } else {
            const auto dialog = ProcAddress<ConfigurationDlgFunc>(file.Module(), "ConfigurationDlg");
            const HWND owner = reinterpret_cast<HWND>(static_cast<uintptr_t>(question->Owner));
            const int result = dialog ? dialog(owner, 1) : kSpiNoFunction;
            answer = {static_cast<char>(result == 0 ? 0 : 1)};
        }
    }
    return channel.Send(kind == TMessageKind::kInquire ? TMessageKind::kFacts : TMessageKind::kConfigured, answer);
}

enum class TSent { kAll, kQuit, kBroken };

// A listing's pieces, each once the resident program asks for the next; the outcome follows.
TSent SendPieces(TChannelEnd& channel, std::vector<std::vector<char>> pieces) {
    TMessageKind kind;
    std::vector<char> payload;
    for (std::vector<char>& piece : pieces) {
        if (!channel.Send(TMessageKind::kListed, piece) || !channel.Receive(kind, payload, kSpinMicroseconds))
            return TSent::kBroken;
        std::vector<char>().swap(piece);
        if (kind == TMessageKind::kQuit)
            return TSent::kQuit;
        if (kind != TMessageKind::kListMore)
            return TSent::kBroken;
    }
    return TSent::kAll;
}

int Serve(TChannelEnd& channel, TChannelMemory& memory) {
    TCallStatusWriter writer(&memory.Status);
    SetPluginActivity(&writer);
    TMessageKind kind;
    std::vector<char> payload;
    if (!channel.Receive(kind, payload, 0) || kind != TMessageKind::kStart)
        return kMalformed;
    auto start = DecodeStart(payload);
    if (!start)
        return kMalformed;
    TPluginList plugins;
    plugins.SetSkipped(std::move(start->Skipped));
    plugins.SetGivenCopies(std::move(start->GivenCopies));
    if (start->Inquiry) {
        plugins.SetFolder(start->Folder.empty() ? FindPluginFolder().Path : start->Folder);
    } else if (start->Folder.empty()) {
        ReloadPlugins(plugins);
    } else {
        plugins.SetFolder(start->Folder);
        plugins.Load();
    }
    // Ready: the start message is answered in kind.
    if (!channel.Send(TMessageKind::kStart, {}))
        EndAtOnce(kMalformed);
    // The levels of the job just done, for the next job under the same archive; released on the way
    // out with everything else.
    TKeptChain kept;
    // The levels of the last job that went on from a level the other host handed on, kept as long.
    TKeptChain entered;
    // Where levels are handed on to the other host; let go with the kept levels.
    TLevelFile handOverFile;
    // Every end but the one the resident program asked for: what is kept goes first, its copies with it.
    const auto endNow = [&](int code) {
        kept.Release();
        entered.Release();
        handOverFile.Release();
        EndAtOnce(code);
    };
    ULONGLONG idleSince = 0;
    bool idleEnded = false;
    // Answers false once the host has been idle long enough to end: nobody extracts, and the
    // plug-ins should not stay loaded (their files locked, their memory held) for hours.
    const auto whileIdle = [&] {
        const ULONGLONG idle = ::GetTickCount64() - idleSince;
        if (idle >= kKeepIdleMs) {
            kept.Release();
            entered.Release();
            handOverFile.Release();
        }
        idleEnded = idle >= start->IdleEndMs;
        return !idleEnded;
    };
    const DWORD tickMs = std::min<DWORD>(kKeepIdleMs, start->IdleEndMs);
    for (;;) {
        idleSince = ::GetTickCount64();
        idleEnded = false;
        // Ended while idle, it is inside no plug-in: the resident program counts no crash and
        // replaces it before its next job.
        if (!channel.Receive(kind, payload, kSpinMicroseconds, whileIdle, tickMs))
            endNow(idleEnded ? 0 : kMalformed);
        if (kind == TMessageKind::kQuit)
            return 0;
        if (start->Inquiry) {
            if ((kind != TMessageKind::kInquire && kind != TMessageKind::kConfigure) ||
                !Answer(channel, plugins.Folder(), kind, payload))
                endNow(kMalformed);
            continue;
        }
        const auto request = kind == TMessageKind::kExtract ? DecodeExtract(payload) : std::nullopt;
        if (!request)
            endNow(kMalformed);
        // The request's number names the job, so that a cancel meant for an earlier one never stops it.
        TChannelProgress progress(memory, channel.LastNumber());
        TSectionHandOver handOver(static_cast<int>(request->FirstHandOver), request->Afresh, plugins, handOverFile);
        TListingPieces listing;
        const TExtractOutcome outcome =
            ExtractRequested(plugins, *request, &progress, &kept, &entered, handOver, &listing);
        if (outcome.Succeeded() && handOver.Taken()) {
            if (!handOver.SendTo(channel))
                endNow(kMalformed);
            continue;
        }
        if (outcome.Succeeded() && request->List) {
            const TSent sent = SendPieces(channel, listing.Take());
            if (sent == TSent::kQuit)
                return 0;
            if (sent == TSent::kBroken)
                endNow(kMalformed);
        }
        if (!channel.Send(TMessageKind::kOutcome, EncodeOutcome(outcome, plugins.GivenCopies())))
            endNow(kMalformed);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // A crash ends this process at once: no dialog may wait for a user.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::SetUnhandledExceptionFilter(EndOnCrash);
    if (argc != 6 || !IsTemporaryToken(argv[5]))
        return kMalformed;
    SetTemporaryToken(argv[5]);
    UniqueHandle section(InheritedHandle(argv[1]));
    UniqueHandle requestReady(InheritedHandle(argv[2]));
    UniqueHandle replyReady(InheritedHandle(argv[3]));
    UniqueHandle parent(InheritedHandle(argv[4]));
    if (!section || !requestReady || !replyReady || !parent)
        return kMalformed;
    UniqueWritableView view(::MapViewOfFile(section.Get(), FILE_MAP_WRITE, 0, 0, sizeof(TChannelMemory)));
    UniqueHandle watch(StartWatch(parent.Get()));
    if (!view || !watch)
        return kMalformed;
    // The watcher waits on this handle until the process ends: closed on the way out, it would wake
    // the watcher, whose exit code 0 would race ours.
    const HANDLE watched = parent.Release();
    auto& memory = *static_cast<TChannelMemory*>(view.Get());
    TChannelEnd channel(TChannelSide::kAnswering, memory.Replies, replyReady.Get(), memory.Requests, requestReady.Get(),
                        watched);
    return Serve(channel, memory);
}
