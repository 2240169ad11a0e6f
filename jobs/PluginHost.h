// The resident program's side of the plug-in host: extractions with the shape of ExtractPath, run
// in KelvaneHost.exe. The host starts on first need and is reused; when it dies during a job, that
// job fails naming the plug-in it died in, what it left behind is removed, and the next job starts
// a fresh host. A plug-in that has crashed twice is left out of every later host.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/Owned.h"
#include "engine/ExtractOutcome.h"
#include "host/Channel.h"
#include "jobs/TemporaryRecord.h"

// Beside the resident program; only that copy is ever started.
inline constexpr char kHostFileName[] = "KelvaneHost.exe";

class TPluginHost {
public:
    static constexpr int kCrashesBeforeSkipping = 2;

    // recordFile: where hosts' temporaries are noted; what dead hosts left is swept from it now.
    explicit TPluginHost(std::string hostPath, std::string recordFile = TTemporaryRecord::DefaultFile());
    TPluginHost(const TPluginHost&) = delete;
    TPluginHost& operator=(const TPluginHost&) = delete;
    ~TPluginHost();

    // One extraction at a time: a second caller waits for the first.
    TExtractOutcome Extract(const std::string& sourcePath, const std::string& destPath);
    // Held, no extraction can start; tests use it to keep a job waiting.
    std::unique_lock<std::mutex> LockForExtraction() { return std::unique_lock<std::mutex>(Extraction_); }

    // Ends the host now; a running extraction returns as canceled. Safe from any thread.
    void Terminate();
    // How long the running extraction has taken so far; 0 when none runs.
    ULONGLONG RunningMs() const;

private:
    bool Start(TExtractOutcome& failure);
    TExtractOutcome Died();
    void Stop();
    void NoteFolder(const std::string& folder);
    void RemoveTemporaries(DWORD hostId);
    std::vector<std::string> PluginsToSkip() const;
    void CountCrash(const std::string& plugin);

    TChannelMemory& Memory() const { return *static_cast<TChannelMemory*>(View_.Get()); }

    std::string HostPath_;
    std::mutex Extraction_;
    // Guards the process handle against Terminate from another thread.
    mutable std::mutex Process_;
    UniqueHandle Host_;
    DWORD HostId_ = 0;
    std::string HostToken_;  // carried by the names of the host's temporaries
    std::vector<std::string> HostFolders_;  // where it may have left them, each noted in the record
    TTemporaryRecord Record_;
    UniqueHandle Section_;  // the channel, shared with the host alone
    UniqueWritableView View_;
    UniqueHandle RequestReady_;
    UniqueHandle ReplyReady_;
    std::optional<TChannelEnd> Channel_;
    std::atomic<ULONGLONG> Started_{0};
    std::atomic<bool> Canceled_{false};
    struct TCrashes {
        std::string Plugin;
        int Count;
    };
    std::vector<TCrashes> Crashes_;
};
