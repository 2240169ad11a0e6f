#include "jobs/TemporaryRecord.h"

#include <cstdlib>

#include "base/Owned.h"
#include "engine/DestinationWrite.h"
#include "engine/Temporary.h"

namespace {

// Whoever reads and rewrites the record holds this, in whichever of the user's programs.
class TRecordLock {
public:
    TRecordLock() : Mutex(::CreateMutexA(nullptr, FALSE, "Local\\Kelvane.TemporaryRecord")) {
        // Abandoned by a program that died holding it, it is ours all the same.
        if (Mutex)
            ::WaitForSingleObject(Mutex.Get(), INFINITE);
    }
    ~TRecordLock() {
        if (Mutex)
            ::ReleaseMutex(Mutex.Get());
    }
    TRecordLock(const TRecordLock&) = delete;
    TRecordLock& operator=(const TRecordLock&) = delete;

private:
    UniqueHandle Mutex;
};

bool StillRuns(DWORD processId) {
    UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    return process && ::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

// A record longer than this is not ours to trust: it is read no further.
constexpr DWORD kMaxRecordBytes = 1u << 20;

std::string ReadAll(const std::string& path) {
    UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text(kMaxRecordBytes, '\0');
    DWORD read = 0;
    if (!file || !::ReadFile(file.Get(), text.data(), kMaxRecordBytes, &read, nullptr))
        return {};
    text.resize(read);
    return text;
}

// The record is rewritten through a temporary file beside it: one that a killed program left there
// goes once that program has ended. Only the record's writes make such names in its folder.
void RemoveLeftWrites(const std::string& folder) {
    WIN32_FIND_DATAA found;
    UniqueFind search(::FindFirstFileA((folder + "\\~kv*").c_str(), &found));
    if (!search)
        return;
    do {
        const DWORD writer = std::strtoul(found.cFileName + 3, nullptr, 10);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && writer != 0 && !StillRuns(writer))
            ::DeleteFileA((folder + "\\" + found.cFileName).c_str());
    } while (::FindNextFileA(search.Get(), &found));
}

}  // namespace

std::string TTemporaryRecord::DefaultFile() {
    char folder[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableA("LOCALAPPDATA", folder, sizeof folder);
    const std::string base = length > 0 && length < sizeof folder ? std::string(folder, length) + "\\"
                                                                   : UserTemporaryFolder();
    return base + "Kelvane\\temporaries.txt";
}

TTemporaryRecord::TTemporaryRecord(std::string file) : File_(std::move(file)) {}

// One line an entry: "<process id> <token> <folder>". Lines that do not read so are dropped.
std::vector<TTemporaryRecord::TEntry> TTemporaryRecord::Read() const {
    std::vector<TEntry> entries;
    const std::string text = ReadAll(File_);
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t tokenAt = line.find(' ');
        const size_t folderAt = tokenAt == std::string::npos ? tokenAt : line.find(' ', tokenAt + 1);
        if (folderAt == std::string::npos || folderAt + 1 >= line.size())
            continue;
        char* stop = nullptr;
        const unsigned long id = std::strtoul(line.c_str(), &stop, 10);
        std::string token = line.substr(tokenAt + 1, folderAt - tokenAt - 1);
        if (stop != line.c_str() + tokenAt || id == 0 || !IsTemporaryToken(token))
            continue;
        entries.push_back({static_cast<DWORD>(id), std::move(token), line.substr(folderAt + 1)});
    }
    return entries;
}

bool TTemporaryRecord::Write(const std::vector<TEntry>& entries) const {
    if (entries.empty())
        return ::DeleteFileA(File_.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
    std::string text;
    for (const TEntry& entry : entries)
        text += std::to_string(entry.ProcessId) + ' ' + entry.Token + ' ' + entry.Folder + "\r\n";
    ::CreateDirectoryA(FolderOf(File_).c_str(), nullptr);
    return static_cast<bool>(WriteBlockToFile(File_, text.data(), static_cast<uint32_t>(text.size())));
}

bool TTemporaryRecord::Note(DWORD processId, const std::string& token, const std::string& folder) {
    const TRecordLock lock;
    std::vector<TEntry> entries = Read();
    for (const TEntry& entry : entries)
        if (entry.ProcessId == processId && entry.Token == token && ::lstrcmpiA(entry.Folder.c_str(), folder.c_str()) == 0)
            return true;
    entries.push_back({processId, token, folder});
    return Write(entries);
}

void TTemporaryRecord::Sweep() {
    const TRecordLock lock;
    RemoveLeftWrites(FolderOf(File_));
    const std::vector<TEntry> entries = Read();
    std::vector<TEntry> left;
    for (const TEntry& entry : entries)
        if (StillRuns(entry.ProcessId) || !RemoveTemporariesOf(entry.Folder, entry.ProcessId, entry.Token))
            left.push_back(entry);
    if (left.size() != entries.size())
        Write(left);
}
