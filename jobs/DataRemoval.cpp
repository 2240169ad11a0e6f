#include "jobs/DataRemoval.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/SystemPath.h"
#include "engine/Temporary.h"
#include "jobs/DataFolder.h"
#include "jobs/QueueJournal.h"
#include "jobs/TemporaryRecord.h"

namespace {

bool Missing(const std::string& path) {
    if (::GetFileAttributesW(SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The files named, and the temporaries of programs that have ended; then the folder, should nothing
// else be in it. Held meanwhile, so that the folder checked is the one emptied.
bool RemoveOwnNames(const std::string& folder, const std::vector<std::string>& files) {
    UniqueHandle held = HoldPlainFolder(folder, true);
    if (!held)
        return Missing(folder);
    bool clean = true;
    for (const std::string& file : files)
        clean = (::DeleteFileW(SystemPath(file).c_str()) || Missing(file)) && clean;
    clean = TTemporaryRecord::RemoveEndedIn(folder) && clean;
    held.Reset();
    return ::RemoveDirectoryW(SystemPath(folder).c_str()) && clean;
}

// The folder for copies lies in one that every user may make folders in: that one must be a plain
// folder too, and goes when no other user's folder is left in it.
bool RemoveOwnTemporaryFolder() {
    const std::string own = OwnTemporaryFolderPath();
    if (own.empty())
        return true;
    const std::string parent = FolderOf(own);
    UniqueHandle held = HoldPlainFolder(parent, false);
    if (!held)
        return Missing(parent);
    const bool clean = RemoveOwnNames(own, {});
    held.Reset();
    ::RemoveDirectoryW(SystemPath(parent).c_str());
    return clean;
}

}  // namespace

bool RemoveUserData() {
    // What ended hosts left beside destinations first: the record names those folders.
    const std::string record = TTemporaryRecord::DefaultFile();
    TTemporaryRecord(record).Sweep();
    const std::string queue = TQueueJournal::DefaultFile();
    const bool data = RemoveOwnNames(UserDataFolder(), {queue, TQueueJournal::DamagedFileOf(queue), record});
    return RemoveOwnTemporaryFolder() && data;
}
