// The loaded Susie archive plug-ins, most recently matched first.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Owned.h"
#include "engine/PluginSettings.h"
#include "engine/SpiTypes.h"

class TArchive;

// What a plug-in showed of archives in memory this session. Some refuse them with -1, some only in
// GetFile, and some crash on them while they read the same archive on disk well: those are given a
// temporary copy of every level from then on. A listing that answers -1 for a copy on disk too is a
// stub that tells nothing: such a plug-in is given memory as one without a listing is.
enum class TMemoryInput { kUntried, kReads, kGivenCopies, kListingStub };

struct TPluginInfo {
    std::string FileName;
    UniqueModule Module;
    // Either may be null, not both; the wide one is asked when there is one.
    IsSupportedFunc IsSupportedProc = nullptr;
    IsSupportedWFunc IsSupportedWProc = nullptr;
    std::string Extensions;  // the file-type texts, joined by ";"
    bool Active = false;
    TMemoryInput MemoryInput = TMemoryInput::kUntried;
};

// An archive's probe: asks one plug-in whether it takes the archive and records it if so.
using TProbe = bool (TArchive::*)(const TPluginInfo& plugin);

class TPluginList {
public:
    TPluginList() = default;
    TPluginList(const TPluginList&) = delete;
    TPluginList& operator=(const TPluginList&) = delete;
    ~TPluginList();

    void SetFolder(std::string folder);
    const std::string& Folder() const { return Folder_; }
    bool Loaded() const { return Loaded_; }

    int Load();
    void Clear();

    // Plug-ins that Load leaves out (by file name, without regard to case): those that crashed.
    void SetSkipped(std::vector<std::string> fileNames) { Skipped_ = std::move(fileNames); }
    // Their names, for a failure to mention; empty when none is skipped.
    std::string SkippedText() const;
    // Plug-ins that Load marks to be given copies: those that crashed with an archive in memory.
    void SetGivenCopies(std::vector<std::string> fileNames) { GivenCopies_ = std::move(fileNames); }
    // The loaded plug-ins given copies of every level, as told or as learnt since.
    std::vector<std::string> GivenCopies() const;

    // Asks the plug-ins in list order; the first that accepts moves to the front.
    bool FindPlugin(TProbe probe, TArchive& archive);

    int Count() const { return static_cast<int>(Items_.size()); }
    HMODULE GetModule(int index) const;
    IsSupportedFunc GetIsSupported(int index) const;
    const TPluginInfo& Item(int index) const;
    // The loaded plug-in of that module; null for a module not in the list.
    TPluginInfo* InfoOf(HMODULE module) const;

    // Plug-ins are rarely thread-safe and FindPlugin reorders the list: every extraction holds
    // this lock from start to end, so two never run at once. Holding it also lets an owner wait
    // until no extraction runs.
    std::unique_lock<std::mutex> LockForExtraction() { return std::unique_lock<std::mutex>(ExtractionMutex_); }

private:
    std::unique_ptr<TPluginInfo> TakeIn(const std::string& fileName, const TPluginSwitches& switches) const;
    static bool Names(const std::vector<std::string>& fileNames, const std::string& fileName);

    std::vector<std::unique_ptr<TPluginInfo>> Items_;
    bool Loaded_ = false;
    std::string Folder_;
    std::vector<std::string> Skipped_;
    std::vector<std::string> GivenCopies_;
    std::mutex ExtractionMutex_;
};

// Up to limit names of the files in folder (the one FindPluginFolder names when empty) that match pattern ("*.sph"), joined
// by ", "; empty when there are none.
std::string PluginFileNames(std::string folder, const char* pattern, int limit);
// The start-up load, from the folder FindPluginFolder names.
void ReloadPlugins(TPluginList& list);
