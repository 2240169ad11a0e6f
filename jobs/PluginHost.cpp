#include "jobs/PluginHost.h"

#include "base/ChildProcess.h"
#include "engine/Temporary.h"

namespace {

// How long a host that was told to go may take before it is ended.
constexpr DWORD kGoodbyeMs = 2000;
// Replies to small jobs come within this; watching for them saves a sleep and a wake-up.
constexpr unsigned kSpinMicroseconds = 100;

TExtractOutcome Failure(TFailureKind kind, const std::string& plugin = {}) {
    TExtractOutcome outcome;
    outcome.Failure.Kind = kind;
    outcome.Failure.Plugin = plugin;
    return outcome;
}

}  // namespace

TPluginHost::TPluginHost(std::string hostPath) : HostPath_(std::move(hostPath)) {}

TPluginHost::~TPluginHost() {
    Stop();
}

bool TPluginHost::Start(TExtractOutcome& failure) {
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

    TChildProcess child;
    child.Error = ::GetLastError();
    if (view && requestReady && replyReady && parent)
        child = StartInheriting(
            HostPath_, HostCommandLine(HostPath_, section.Get(), requestReady.Get(), replyReady.Get(), parent.Get()),
            {section.Get(), requestReady.Get(), replyReady.Get(), parent.Get()}, CREATE_NO_WINDOW);
    if (!child.Process) {
        failure = Failure(TFailureKind::kHostEnded);
        failure.Failure.Win32Error = child.Error;
        failure.Failure.File = HostPath_;
        return false;
    }
    {
        const std::lock_guard<std::mutex> guard(Process_);
        Host_ = std::move(child.Process);
        HostId_ = child.Id;
    }
    Section_ = std::move(section);
    View_ = std::move(view);
    RequestReady_ = std::move(requestReady);
    ReplyReady_ = std::move(replyReady);
    Channel_.emplace(TChannelSide::kAsking, Memory().Requests, RequestReady_.Get(), Memory().Replies, ReplyReady_.Get(),
                     Host_.Get());
    // The host answers once its plug-ins are loaded; loading runs their start-up code, which may crash.
    TMessageKind kind = TMessageKind::kQuit;
    std::vector<char> ready;
    if (Channel_->Send(TMessageKind::kStart, EncodeStart(PluginsToSkip())) && Channel_->Receive(kind, ready, 0) &&
        kind == TMessageKind::kStart)
        return true;
    failure = Died({});
    return false;
}

TExtractOutcome TPluginHost::Extract(const std::string& sourcePath, const std::string& destPath) {
    const std::lock_guard<std::mutex> one(Extraction_);
    TExtractOutcome outcome;
    if (!Channel_ && !Start(outcome))
        return outcome;
    Canceled_ = false;
    Started_ = ::GetTickCount64();
    const std::vector<char> request = EncodeExtract({sourcePath, destPath});
    TMessageKind kind = TMessageKind::kOutcome;
    std::vector<char> reply;
    bool answered = Channel_->Send(TMessageKind::kExtract, request) && Channel_->Receive(kind, reply, kSpinMicroseconds);
    // A host that had gone while idle (ended from outside) never took the request: a fresh one is
    // asked once more.
    if (!answered && Memory().Requests.Full && !Canceled_) {
        Died({});
        if (!Start(outcome))
            return outcome;
        answered = Channel_->Send(TMessageKind::kExtract, request) && Channel_->Receive(kind, reply, kSpinMicroseconds);
    }
    std::optional<TExtractOutcome> decoded;
    if (answered && kind == TMessageKind::kOutcome)
        decoded = DecodeOutcome(reply);
    Started_ = 0;
    // A host that answers nonsense is ended like one that died.
    return decoded ? *decoded : Died(destPath);
}

TExtractOutcome TPluginHost::Died(const std::string& destPath) {
    const std::string plugin = View_ ? PluginInside(Memory().Status) : std::string();
    const DWORD id = HostId_;
    Stop();
    // What the host left half-made: its temporary copies and the partial files beside the destination.
    RemoveTemporariesOf(UserTemporaryFolder(), id);
    if (!destPath.empty())
        RemoveTemporariesOf(FolderOf(destPath), id);
    if (Canceled_.exchange(false))
        return Failure(TFailureKind::kCanceled);
    if (plugin.empty())
        return Failure(TFailureKind::kHostEnded);
    CountCrash(plugin);
    return Failure(TFailureKind::kPluginCrashed, plugin);
}

void TPluginHost::Stop() {
    UniqueHandle host;
    {
        const std::lock_guard<std::mutex> guard(Process_);
        host = std::move(Host_);
        HostId_ = 0;
    }
    // Told to go, a host ends at once; one that does not (stuck in a plug-in) is ended.
    const bool told = Channel_ && Channel_->Send(TMessageKind::kQuit, {});
    if (host && (!told || ::WaitForSingleObject(host.Get(), kGoodbyeMs) != WAIT_OBJECT_0)) {
        ::TerminateProcess(host.Get(), 1);
        ::WaitForSingleObject(host.Get(), kGoodbyeMs);
    }
    Channel_.reset();
    View_.Reset();
    Section_.Reset();
    RequestReady_.Reset();
    ReplyReady_.Reset();
}

void TPluginHost::Terminate() {
    const std::lock_guard<std::mutex> guard(Process_);
    if (!Host_)
        return;
    Canceled_ = true;
    ::TerminateProcess(Host_.Get(), 1);
}

ULONGLONG TPluginHost::RunningMs() const {
    const ULONGLONG started = Started_;
    return started ? ::GetTickCount64() - started : 0;
}

void TPluginHost::CountCrash(const std::string& plugin) {
    // File names, so without regard to case.
    for (TCrashes& crashes : Crashes_) {
        if (::lstrcmpiA(crashes.Plugin.c_str(), plugin.c_str()) == 0) {
            ++crashes.Count;
            return;
        }
    }
    Crashes_.push_back({plugin, 1});
}

std::vector<std::string> TPluginHost::PluginsToSkip() const {
    std::vector<std::string> skipped;
    for (const TCrashes& crashes : Crashes_)
        if (crashes.Count >= kCrashesBeforeSkipping)
            skipped.push_back(crashes.Plugin);
    return skipped;
}
