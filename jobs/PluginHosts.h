// The plug-in hosts of both widths as one: KelvaneHost.exe runs the *.spi plug-ins of the folder,
// KelvaneHost64.exe its *.sph. A job starts in the 32-bit host (in the 64-bit one when the folder holds
// only *.sph) and goes on in the other from any level that no plug-in of the host it is in takes, as
// often as its path needs. The host that took a level out asks its own plug-ins first, so bytes cross
// only when they must; they cross in a section of the level file of the host that took them out (a
// delete-on-close temporary file, gone with its last handle in whichever process), which this
// program takes out of one host and puts into the other.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "jobs/PluginHost.h"

inline constexpr char kHost64FileName[] = "KelvaneHost64.exe";

// Whether this 32-bit program runs on a Windows that runs 64-bit programs too.
bool RunsX64Programs();

class TPluginHosts {
public:
    // host64Path empty: this Windows runs no 64-bit programs. *.sph plug-ins are then left out, and a
    // job that finds no plug-in names them as unusable here. Nothing is started, nor the record of
    // temporaries read, until the first warm-up or job.
    TPluginHosts(std::string hostPath, std::string host64Path, std::string recordFile = TTemporaryRecord::DefaultFile());
    // The hosts beside the program in folder, the 64-bit one where Windows can run it.
    static std::unique_ptr<TPluginHosts> Beside(const std::string& folder);

    // As TPluginHost::Extract, across both hosts: progress and cancel follow the job from one to the
    // other, and its failure names the level, plug-in and reason in whichever host it came. A level
    // handed on with no bytes, as the one the other host kept, that this host has let go runs the job
    // again from the start, every level crossing with its bytes.
    TExtractOutcome Extract(const std::string& sourcePath, const std::string& destPath, TProgress* progress = nullptr);
    // The members of the archive or folder inside one that sourcePath names, to sink, across both
    // hosts as an extraction goes; what sink was given counts only when the outcome succeeded.
    TExtractOutcome List(const std::string& sourcePath, TListingSink& sink, TProgress* progress = nullptr);
    // Starts, ahead of any job, the hosts whose width the folder holds plug-ins of, each as
    // TPluginHost::WarmUp does. False when Terminate or the progress ended a start, or came before it.
    bool WarmUp(TProgress* progress = nullptr);
    // The plug-ins' folder from now on; empty (the default) for the one FindPluginFolder names, asked
    // anew at every job and warm-up.
    void SetPluginFolder(const std::string& folder);
    // The plug-ins' settings have changed: hosts that hold the old set end before the next job, which
    // starts them anew. Safe from any thread.
    void Renew();
    // What both hosts have made of plug-ins so far. Safe from any thread.
    std::vector<TPluginStanding> Standing() const;
    // As TPluginHost::SetStartHangBound, for both hosts.
    void SetStartHangBound(DWORD ms);
    // Jobs' *.spi levels run in part from now on, not in a 32-bit host; part outlives this object's use.
    void RunNarrowIn(TChainPart& part) { Narrow_ = &part; }
    // Held, no extraction can start; tests use it to keep a job waiting.
    std::unique_lock<std::mutex> LockForExtraction() { return std::unique_lock<std::mutex>(Extraction_); }
    // Ends both hosts now; the running extraction, in whichever host it is or is about to be,
    // returns as canceled. Safe from any thread.
    void Terminate();
    // How long the running host's part of the extraction has taken so far; 0 when none runs.
    ULONGLONG RunningMs() const;

private:
    class TJobProgress;
    // Which widths of plug-ins the folder holds: asked each time, as the user may add plug-ins of
    // either width at any time.
    struct TWidths {
        bool Narrow;
        bool Wide;  // only where this Windows runs them
    };
    TWidths Widths(const std::string& folder) const;
    // The folder of this job or warm-up, given to both hosts.
    std::string UseFolder();
    // Runs one use of the hosts, an extraction or a warm-up, as the one at a time, with the caller's
    // progress that Terminate cancels too.
    template <typename TUse>
    auto AsJob(TProgress* progress, TUse use);
    // What hosts of dead programs left goes before the first host of this one starts, on the thread
    // that starts it (the worker's): the window's start must not wait for the record's folders, a
    // network drive's timeout among them. A sweep that could not be made is made at the next use.
    void SweepOnce();
    TExtractOutcome Run(const std::string& sourcePath,
                        const std::string& destPath,
                        TProgress& progress,
                        TListingSink* listing = nullptr);

    std::mutex Extraction_;
    TTemporaryRecord Record_;
    bool Swept_ = false;
    TPluginHost Host32_;
    std::unique_ptr<TPluginHost> Host64_;  // null where Windows runs no 64-bit programs
    TChainPart* Narrow_ = &Host32_;
    std::string PluginFolder_;
    std::atomic<uint64_t> Job_{0};         // the running extraction's number; 0 when none runs
    std::atomic<uint64_t> CanceledJob_{0};
    uint64_t Jobs_ = 0;
};
