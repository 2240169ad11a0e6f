#include "jobs/PluginHost.h"

#include <memory>

#include "engine/Temporary.h"
#include "host/CallStatus.h"
#include "host/Messages.h"

namespace {

// How long a host that was told to go may take before it is ended.
constexpr DWORD kGoodbyeMs = 2000;

TExtractOutcome Failure(TFailureKind kind, const std::string& plugin = {}) {
    TExtractOutcome outcome;
    outcome.Failure.Kind = kind;
    outcome.Failure.Plugin = plugin;
    return outcome;
}

// A pipe whose one end goes to the host (inheritable) and the other stays here (not inheritable).
bool MakePipe(UniqueHandle& read, UniqueHandle& write) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE r = nullptr;
    HANDLE w = nullptr;
    if (!::CreatePipe(&r, &w, &inherit, 0))
        return false;
    read.Reset(r);
    write.Reset(w);
    return true;
}

// Only the listed handles reach the child, whatever else in this process is inheritable.
class TInheritOnly {
public:
    explicit TInheritOnly(std::vector<HANDLE> handles) : Handles(std::move(handles)) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        Buffer = std::make_unique<char[]>(size);
        List = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(Buffer.get());
        Ready = ::InitializeProcThreadAttributeList(List, 1, 0, &size) &&
                ::UpdateProcThreadAttribute(List, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, Handles.data(),
                                            Handles.size() * sizeof(HANDLE), nullptr, nullptr);
    }
    ~TInheritOnly() {
        if (List)
            ::DeleteProcThreadAttributeList(List);
    }
    TInheritOnly(const TInheritOnly&) = delete;
    TInheritOnly& operator=(const TInheritOnly&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return Ready ? List : nullptr; }

private:
    std::vector<HANDLE> Handles;
    std::unique_ptr<char[]> Buffer;
    LPPROC_THREAD_ATTRIBUTE_LIST List = nullptr;
    bool Ready = false;
};

}  // namespace

TPluginHost::TPluginHost(std::string hostPath) : HostPath_(std::move(hostPath)) {}

TPluginHost::~TPluginHost() {
    Stop();
}

bool TPluginHost::Start(TExtractOutcome& failure) {
    UniqueHandle requestRead;
    UniqueHandle requestWrite;
    UniqueHandle replyRead;
    UniqueHandle replyWrite;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    UniqueHandle statusMapping(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, &inherit, PAGE_READWRITE, 0, sizeof(TCallStatus), nullptr));
    if (!MakePipe(requestRead, requestWrite) || !MakePipe(replyRead, replyWrite) || !statusMapping) {
        failure = Failure(TFailureKind::kHostEnded);
        failure.Failure.Win32Error = ::GetLastError();
        return false;
    }
    ::SetHandleInformation(requestWrite.Get(), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(replyRead.Get(), HANDLE_FLAG_INHERIT, 0);
    UniqueWritableView status(::MapViewOfFile(statusMapping.Get(), FILE_MAP_WRITE, 0, 0, sizeof(TCallStatus)));
    // The host watches this process and ends with it, so a host stuck in a plug-in never outlives us.
    HANDLE self = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &self, SYNCHRONIZE, TRUE,
                      0);
    UniqueHandle parent(self);

    const auto number = [](const UniqueHandle& handle) {
        return std::to_string(reinterpret_cast<uintptr_t>(handle.Get()));
    };
    std::string commandLine = "\"" + HostPath_ + "\" " + number(requestRead) + " " + number(replyWrite) + " " +
                              number(statusMapping) + " " + number(parent);
    const TInheritOnly inheritOnly({requestRead.Get(), replyWrite.Get(), statusMapping.Get(), parent.Get()});
    STARTUPINFOEXA startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = inheritOnly.Get();
    PROCESS_INFORMATION process = {};
    const DWORD flags = CREATE_NO_WINDOW | (startup.lpAttributeList ? EXTENDED_STARTUPINFO_PRESENT : 0);
    if (!status || !parent ||
        !::CreateProcessA(HostPath_.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                          &startup.StartupInfo, &process)) {
        failure = Failure(TFailureKind::kHostEnded);
        failure.Failure.Win32Error = ::GetLastError();
        failure.Failure.File = HostPath_;
        return false;
    }
    ::CloseHandle(process.hThread);
    // The host's ends are the host's alone: a pipe breaks only when the host is gone.
    requestRead.Reset();
    replyWrite.Reset();
    {
        const std::lock_guard<std::mutex> guard(Process_);
        Host_.Reset(process.hProcess);
        HostId_ = process.dwProcessId;
    }
    Requests_ = std::move(requestWrite);
    Replies_ = std::move(replyRead);
    Reader_.emplace(Replies_.Get());
    StatusMapping_ = std::move(statusMapping);
    Status_ = std::move(status);
    if (WriteMessage(Requests_.Get(), TMessageKind::kStart, EncodeStart(PluginsToSkip())))
        return true;
    failure = Died({});
    return false;
}

TExtractOutcome TPluginHost::Extract(const std::string& sourcePath, const std::string& destPath) {
    const std::lock_guard<std::mutex> one(Extraction_);
    TExtractOutcome outcome;
    if (!Requests_ && !Start(outcome))
        return outcome;
    Canceled_ = false;
    Started_ = ::GetTickCount64();
    const std::vector<char> request = EncodeExtract({sourcePath, destPath});
    bool sent = WriteMessage(Requests_.Get(), TMessageKind::kExtract, request);
    // A host that went while idle (ended from outside) is replaced, and asked once more.
    if (!sent) {
        Died({});
        if (!Start(outcome))
            return outcome;
        sent = WriteMessage(Requests_.Get(), TMessageKind::kExtract, request);
    }
    std::vector<char> reply;
    const bool answered = sent && Reader_->Read(TMessageKind::kOutcome, reply);
    std::optional<TExtractOutcome> decoded;
    if (answered)
        decoded = DecodeOutcome(reply);
    Started_ = 0;
    // A host that answers nonsense is ended like one that died.
    return decoded ? *decoded : Died(destPath);
}

TExtractOutcome TPluginHost::Died(const std::string& destPath) {
    const std::string plugin = Status_ ? PluginInside(*static_cast<const TCallStatus*>(Status_.Get())) : std::string();
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
    // Closing the request pipe tells the host to go; one that does not is ended.
    Requests_.Reset();
    UniqueHandle host;
    {
        const std::lock_guard<std::mutex> guard(Process_);
        host = std::move(Host_);
        HostId_ = 0;
    }
    if (host && ::WaitForSingleObject(host.Get(), kGoodbyeMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(host.Get(), 1);
        ::WaitForSingleObject(host.Get(), kGoodbyeMs);
    }
    Reader_.reset();
    Replies_.Reset();
    Status_.Reset();
    StatusMapping_.Reset();
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
