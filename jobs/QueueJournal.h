// The jobs of the queue kept on disk, the running one too, so that a crash, a kill, a power cut or
// a logoff loses none: at the next start they come back in order, the one that was running first.
//
// The file is a journal: a header, then checksummed records (a job added, removed, moved, taken,
// given a new destination). Every change is one record, or one write of several for as many jobs,
// and one flush. The file
// is rewritten whole, through a temporary file and a rename, when it has grown well past what it
// holds, and once at every start. Reading it keeps every record that checks out: a torn or damaged
// stretch is skipped up to the next sound record, and the file as it was is set aside for whoever
// wants to look. A file that cannot be read or written never stops the program: the queue then
// lives in memory alone, and the owner is told. So it does for a file of a newer version, which is
// left as it is: this build cannot know what its records mean.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/Owned.h"

struct TKeptJob {
    uint64_t Id;  // unique in the journal; 0 is no job
    std::string Source;
    std::string Destination;
    // The ends of the program in a row (never the user's exit, which keeps nothing) at which the job
    // was running; from kHeldRuns on it waits for the user until it runs again.
    uint32_t Runs = 0;
};

// A job to keep, its texts borrowed for the call.
struct TKeptJobView {
    uint64_t Id;
    std::string_view Source;
    std::string_view Destination;
};

class TQueueJournal {
public:
    // "%LOCALAPPDATA%\Kelvane\queue.dat".
    static std::string DefaultFile();
    // Where a file that could not be read whole is set aside: beside it, the last such file only.
    static std::string DamagedFileOf(const std::string& file);

    static constexpr uint32_t kHeldRuns = 2;
    // Something written is flushed at most this much later: see Ended and Pending.
    static constexpr unsigned kFlushDelayMs = 1000;

    // Reads the file, making it when it is missing; see Jobs(), Damaged(), Newer() and Kept().
    explicit TQueueJournal(std::string file);
    TQueueJournal(const TQueueJournal&) = delete;
    TQueueJournal& operator=(const TQueueJournal&) = delete;
    ~TQueueJournal() { Flush(); }

    // What the file held when opened, in order.
    std::vector<TKeptJob> Jobs() const;
    // Part of the file could not be read when it was opened; it was set aside.
    bool Damaged() const { return Damaged_; }
    // Every change so far is on the disk. False after a change could not be written; each later
    // change tries to write the whole file again.
    bool Kept() const { return Kept_; }
    // The file is of a newer version than this build knows: it is left as it is, never read or
    // written, and the queue lives in memory alone.
    bool Newer() const { return Newer_; }
    // Written and not yet flushed: the owner calls Flush within kFlushDelayMs, whatever comes next.
    bool Pending() const { return Unflushed; }

    // After every job kept; the ids are new.
    void Add(const std::vector<TKeptJobView>& jobs);
    // Right after job `after`, or at the front for after 0 (or a job no longer kept); the id is new.
    void Insert(const TKeptJobView& job, uint64_t after);
    void Remove(const std::vector<uint64_t>& ids);
    // The worker has taken the job: it goes to the front and counts as running until it leaves.
    // Taken from the front, the usual case, its record is flushed as an end's is.
    void Taken(uint64_t id);
    // A job that has run is removed too, but its record reaches the disk with the next flush, at
    // most a second later (see Pending): one flush a job would cost more than a small job. Should a
    // power cut lose the record, the job runs once more at the next start, to the same file.
    void Ended(uint64_t id);
    // What was written and not yet flushed goes to the disk now: when no job is left to run, and on
    // the way out.
    void Flush();
    // Moves a job right after another, or to the front for after 0 (or a job no longer kept).
    void Move(uint64_t id, uint64_t after);
    // New destinations: (id, destination).
    void Retarget(const std::vector<std::pair<uint64_t, std::string>>& destinations);

    // Called once when a change could first not be kept, so that the user hears of it once.
    std::function<void()> Lost;

private:
    // A live job as the record that adds it: a rewrite only strings them together.
    struct TLive {
        uint64_t Id;
        std::string Record;
        uint32_t Runs = 0;
        bool Running = false;  // taken since the program started, and not left
    };
    using TList = std::list<TLive>;

    void Load();
    // A sound record read or about to be written: memory follows it. False for one that is not ours.
    bool Apply(std::string_view record);
    void AddLive(uint64_t id, std::string record, TList::iterator place);
    // Where a job placed right after `after` goes: the front for 0 or a job no longer kept.
    TList::iterator After(uint64_t after);
    bool FlushDue() const;
    // Writes records that bring the file to what memory holds now: appended, or the whole file
    // written again when that is smaller or the file is not sound.
    void Commit(const std::string& records, bool flushNow = true);
    bool Append(const std::string& records, bool flushNow);
    bool Rewrite();
    bool OpenForAppend();

    std::string File_;
    UniqueHandle Handle;  // open for appending while the file is sound
    TList Live;
    std::unordered_map<uint64_t, TList::iterator> ById;
    uint64_t LiveBytes = 0;  // of the records that add the live jobs: the size of a rewrite
    uint64_t FileBytes = 0;
    bool Unflushed = false;
    ULONGLONG LastFlush = 0;  // tick count
    bool Damaged_ = false;
    bool Newer_ = false;
    bool Kept_ = true;
    bool Unread = false;  // the file could not be read: it is never written over
};
