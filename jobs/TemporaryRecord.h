// Where the plug-in hosts of this user may have left temporary files: each host's process id and
// token with every folder it was given to write in (the temporary folder, the destinations'
// folders). Kept in a file, so that what a killed or crashed program left is found at its next
// start; every note reaches the disk before the host may write there. Every program of the user
// shares the one file, each change made under a lock of the session.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class TTemporaryRecord {
public:
    // The file in the user's local application data.
    static std::string DefaultFile();

    explicit TTemporaryRecord(std::string file);

    // Notes that the host (processId, token) may leave temporaries in folder; false when the record
    // could not be written.
    bool Note(DWORD processId, const std::string& token, const std::string& folder);
    // Removes what the noted hosts that have ended left. What cannot be removed yet (a file still
    // open), and what a host still running may still use, stays noted for the next sweep.
    void Sweep();

private:
    struct TEntry {
        DWORD ProcessId;
        std::string Token;
        std::string Folder;
    };
    std::vector<TEntry> Read() const;
    bool Write(const std::vector<TEntry>& entries) const;

    std::string File_;
};
