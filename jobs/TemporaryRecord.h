// Where the plug-in hosts of this user may have left temporary files: each host's process id and
// token with every folder it was given to write in (the temporary folder, the destinations'
// folders). Kept in a file, so that what a killed or crashed program left is found at its next
// start; a note reaches the disk before the host may write there. Every program of the user
// shares the one file, each change made under a lock of the session. Any program may hold that lock,
// so it is waited for only a moment: without it, a note or a sweep is left for later.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class TTemporaryRecord {
public:
    // The name of the lock, the same in every program that shares the record.
    // The name of the lock of that record file: one per file, the same in every program of the
    // session, so that programs with records of their own (tests, tools) never wait for each other.
    static std::string LockNameOf(const std::string& file);
    // An entry noted this long ago goes at the next sweep whatever its folder holds, so that
    // folders that never answer again do not make the record grow for ever.
    static constexpr uint64_t kLongestKeptSeconds = 30 * 24 * 60 * 60;

    // The file in the user's local application data.
    static std::string DefaultFile();

    explicit TTemporaryRecord(std::string file);

    // Notes that the host (processId, token) may leave temporaries in folder; false when the record
    // could not be read or written, or its lock was held: the note is not made.
    bool Note(DWORD processId, const std::string& token, const std::string& folder);
    // Removes what the noted hosts that have ended left, those of onlyProcessId alone unless it is
    // 0. An entry stays noted while its host may still use it, while something is left (a file
    // still open), and while its folder does not answer; one whose folder is gone for good goes,
    // and so does one noted too long ago. False when the sweep could not be made (the lock held,
    // the record unreadable): it is to be tried again later.
    bool Sweep(DWORD onlyProcessId = 0);

    // Removes every temporary that a process which has ended left in folder, noted or not: for a
    // folder of ours that no program will use again. True when none of those is left.
    static bool RemoveEndedIn(const std::string& folder);

private:
    struct TEntry {
        DWORD ProcessId;
        std::string Token;
        std::string Folder;
        uint64_t Noted;  // seconds since 1601 (UTC); 0 for a line of the older form without it
    };
    static bool SameEntry(const TEntry& one, const TEntry& other);
    // False, entries untouched, when the record exists but could not be read.
    bool Read(std::vector<TEntry>& entries) const;
    bool Write(const std::vector<TEntry>& entries) const;
    // Drops the entries done with from the record as it is now, dating those without a time.
    bool Forget(const std::vector<TEntry>& done) const;

    std::string File_;
};
