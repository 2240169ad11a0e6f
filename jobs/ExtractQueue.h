// The jobs waiting to be extracted, front first, and the one the worker has taken until it ends.
// Lives on the GUI thread only; the job list of the main window shows waiting job i on line i.
// Given a journal, the queue keeps every change on the disk as it makes it, and starts with what
// the journal kept.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "jobs/QueueJournal.h"

struct TExtractJob {
    uint64_t Id = 0;  // the queue's, unique while it runs
    std::string Source;
    std::string Destination;
    uint16_t Flag = 0;
    // Running at the program's last ends (TQueueJournal::kHeldRuns): waits for the user.
    bool Held = false;
};

// An index outside the queue: a programming error that the window procedure reports.
class TListIndexError : public std::out_of_range {
public:
    TListIndexError();
};

class TExtractQueue {
public:
    // In memory alone.
    TExtractQueue() = default;
    explicit TExtractQueue(std::unique_ptr<TQueueJournal> journal);
    TExtractQueue(const TExtractQueue&) = delete;
    TExtractQueue& operator=(const TExtractQueue&) = delete;
    virtual ~TExtractQueue() = default;

    int Count() const { return static_cast<int>(Jobs.size()); }
    // Waiting job index was running at two ends of the program in a row that were not the user's
    // exit: it waits for the user, never run by the continuous mode.
    bool Held(int index) const { return At(index).Held; }
    // The first waiting job that is not held; -1 for none.
    int NextToRun() const;
    std::string GetSource(int index) const;
    std::string GetDestination(int index) const;
    void SetDestination(int index, std::string destination);
    // Every waiting job's destination becomes newDestination(its destination), kept in one write.
    void Retarget(const std::function<std::string(const std::string&)>& newDestination);
    int Append(std::string source, std::string destination, uint16_t flag);
    // At the end, kept in one write however many.
    void AppendAll(std::vector<TExtractJob> jobs);
    void Insert(int index, std::string source, std::string destination, uint16_t flag);
    void Delete(int index);
    // Waiting job index to the front; it runs after the job taken, if any.
    void MoveToFront(int index);
    // Every waiting job goes; the taken one stays until it ends.
    void Clear();

    // The worker takes waiting job index. It stays kept, in front of every waiting job, until it
    // has Ended: a program that dies meanwhile finds it first at its next start.
    TExtractJob Take(int index);
    // The taken job of that id has ended, whatever its outcome: it is kept no longer (on the disk
    // for sure once Flush has run, see TQueueJournal::Ended).
    void Ended(uint64_t id);
    void Flush();
    // Written and not yet flushed: Flush is due within TQueueJournal::kFlushDelayMs.
    bool Unflushed() const { return Journal && Journal->Pending(); }
    // Every change so far is on the disk and the file is closed: the queue goes on in memory alone.
    void CloseJournal() { Journal.reset(); }
    // The user chose to lose every job, waiting or taken: none is kept on the disk any more, nor is
    // any later change. In memory they stay, for the window's last paints.
    void AbandonKept();

    // Whether every change so far is on the disk: false without a journal, or when one could not
    // be written.
    bool Kept() const { return Journal && Journal->Kept(); }
    TQueueJournal* GetJournal() const { return Journal.get(); }

private:
    TExtractJob& At(int index) const;
    std::unique_ptr<TExtractJob> Made(std::string source, std::string destination, uint16_t flag);
    // The job a job moved to the front goes after: the one taken last, while it runs.
    uint64_t FrontAnchor() const { return Taken.empty() ? 0 : Taken.back(); }

    std::vector<std::unique_ptr<TExtractJob>> Jobs;
    std::vector<uint64_t> Taken;  // taken and not yet ended, oldest first
    uint64_t NextId = 1;
    std::unique_ptr<TQueueJournal> Journal;
};
