#include "jobs/TemporaryRecord.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "base/Owned.h"
#include "base/SystemPath.h"
#include "base/WideText.h"
#include "jobs/DataFolder.h"
#include "engine/Archive.h"
#include "engine/DestinationWrite.h"
#include "engine/Temporary.h"

namespace {

// Longer than any rewrite of the record takes, flushed to the disk; short enough for the exit path.
constexpr DWORD kLockWaitMs = 1000;

// Whoever reads and rewrites the record holds this, in whichever of the user's programs.
class TRecordLock {
public:
    explicit TRecordLock(const std::string& file)
        : Mutex(::CreateMutexW(nullptr, FALSE, WideFromUtf8(TTemporaryRecord::LockNameOf(file)).c_str())) {
        // Abandoned by a program that died holding it, it is ours all the same.
        const DWORD taken = Mutex ? ::WaitForSingleObject(Mutex.Get(), kLockWaitMs) : WAIT_FAILED;
        Held = taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED;
    }
    ~TRecordLock() {
        if (Held)
            ::ReleaseMutex(Mutex.Get());
    }
    TRecordLock(const TRecordLock&) = delete;
    TRecordLock& operator=(const TRecordLock&) = delete;
    explicit operator bool() const { return Held; }

private:
    UniqueHandle Mutex;
    bool Held = false;
};

bool StillRuns(DWORD processId) {
    UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    return process && ::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

// A record longer than this is not ours to trust: it is read no further.
constexpr DWORD kMaxRecordBytes = 1u << 20;

// False when the file exists but could not be read: another program has it open, say.
bool ReadAll(const std::string& path, std::string& text) {
    text.clear();
    UniqueHandle file(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    text.resize(kMaxRecordBytes);
    DWORD read = 0;
    if (!::ReadFile(file.Get(), text.data(), kMaxRecordBytes, &read, nullptr))
        return false;
    text.resize(read);
    return true;
}

uint64_t NowSeconds() {
    FILETIME now = {};
    ::GetSystemTimeAsFileTime(&now);
    return (uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime) / 10000000;
}

// The record, and the queue file beside it, are rewritten through temporary files: one that a killed
// program left there goes once that program has ended. Only those rewrites make such names here.
void RemoveLeftWrites(const std::string& folder) {
    WIN32_FIND_DATAW found;
    UniqueFind search(::FindFirstFileW(SystemPath(folder + "\\~kv*").c_str(), &found));
    if (!search)
        return;
    do {
        const DWORD writer = std::wcstoul(found.cFileName + 3, nullptr, 10);
        std::string name;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && writer != 0 && !StillRuns(writer) &&
            ExactUtf8(found.cFileName, name))
            ::DeleteFileW(SystemPath(folder + "\\" + name).c_str());
    } while (::FindNextFileW(search.Get(), &found));
}

}  // namespace

bool TTemporaryRecord::SameEntry(const TEntry& one, const TEntry& other) {
    return one.ProcessId == other.ProcessId && one.Token == other.Token &&
           SameName(one.Folder, other.Folder);
}

std::string TTemporaryRecord::DefaultFile() {
    return UserDataFile("temporaries.txt");
}

TTemporaryRecord::TTemporaryRecord(std::string file) : File_(std::move(file)) {}

// One line an entry: "<process id> <token> <folder>\t<when noted>"; lines of the older form end with
// the folder. No file name holds a tab. Lines that do not read so are dropped.
bool TTemporaryRecord::Read(std::vector<TEntry>& entries) const {
    std::string text;
    if (!ReadAll(File_, text))
        return false;
    entries.clear();
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        uint64_t noted = 0;
        if (const size_t tab = line.find('\t'); tab != std::string::npos) {
            char* stop = nullptr;
            noted = std::strtoull(line.c_str() + tab + 1, &stop, 10);
            if (*stop != '\0' || noted == 0)
                continue;
            line.resize(tab);
        }
        const size_t tokenAt = line.find(' ');
        const size_t folderAt = tokenAt == std::string::npos ? tokenAt : line.find(' ', tokenAt + 1);
        if (folderAt == std::string::npos || folderAt + 1 >= line.size())
            continue;
        char* stop = nullptr;
        const unsigned long id = std::strtoul(line.c_str(), &stop, 10);
        std::string token = line.substr(tokenAt + 1, folderAt - tokenAt - 1);
        if (stop != line.c_str() + tokenAt || id == 0 || !IsTemporaryToken(token))
            continue;
        // Older programs wrote the folder in the code page.
        std::string folder = line.substr(folderAt + 1);
        std::wstring wide;
        if (!ExactWideFromUtf8(folder, wide))
            Utf8FromAnsi(line.substr(folderAt + 1), folder);
        entries.push_back({static_cast<DWORD>(id), std::move(token), std::move(folder), noted});
    }
    return true;
}

std::string TTemporaryRecord::LockNameOf(const std::string& file) {
    // FNV-1a of the name folded as Windows compares file names: one file, however spelled, one lock.
    const std::string folded = FoldedName(file);
    uint64_t hash = 0xCBF29CE484222325u;
    for (const char byte : folded)
        hash = (hash ^ static_cast<uint8_t>(byte)) * 0x100000001B3u;
    char name[64];
    std::snprintf(name, sizeof name, "Local\\Kelvane.TemporaryRecord.%016llX", static_cast<unsigned long long>(hash));
    return name;
}

bool TTemporaryRecord::Write(const std::vector<TEntry>& entries) const {
    if (entries.empty())
        return ::DeleteFileW(SystemPath(File_).c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
    std::string text;
    for (const TEntry& entry : entries)
        text += std::to_string(entry.ProcessId) + ' ' + entry.Token + ' ' + entry.Folder + '\t' +
                std::to_string(entry.Noted) + "\r\n";
    ::CreateDirectoryW(SystemPath(FolderOf(File_)).c_str(), nullptr);
    return static_cast<bool>(WriteBlockToFile(File_, text.data(), static_cast<uint32_t>(text.size())));
}

bool TTemporaryRecord::Note(DWORD processId, const std::string& token, const std::string& folder) {
    const TRecordLock lock(File_);
    std::vector<TEntry> entries;
    // A record that could not be read is never rewritten: its entries would be lost.
    if (!lock || !Read(entries))
        return false;
    const TEntry noted{processId, token, folder, NowSeconds()};
    for (const TEntry& entry : entries)
        if (SameEntry(entry, noted))
            return true;
    entries.push_back(noted);
    return Write(entries);
}

bool TTemporaryRecord::Sweep(DWORD onlyProcessId) {
    std::vector<TEntry> entries;
    {
        const TRecordLock lock(File_);
        if (!lock || !Read(entries))
            return false;
        RemoveLeftWrites(FolderOf(File_));
    }
    // The folders are visited without the lock: one that answers slowly (a network drive's timeout)
    // must not keep the user's other programs from noting meanwhile.
    const uint64_t now = NowSeconds();
    std::vector<TEntry> done;
    for (const TEntry& entry : entries) {
        if (onlyProcessId && entry.ProcessId != onlyProcessId)
            continue;
        const bool old = entry.Noted && entry.Noted + kLongestKeptSeconds <= now;
        if ((!StillRuns(entry.ProcessId) && RemoveTemporariesOf(entry.Folder, entry.ProcessId, entry.Token)) || old)
            done.push_back(entry);
    }
    return Forget(done);
}

bool TTemporaryRecord::RemoveEndedIn(const std::string& folder) {
    WIN32_FIND_DATAW found;
    UniqueFind search(::FindFirstFileW(SystemPath(folder + "\\~kv*").c_str(), &found));
    if (!search)
        return true;
    bool clean = true;
    do {
        std::string name;
        std::string token;
        DWORD processId = 0;
        if (ExactUtf8(found.cFileName, name) && IsTemporaryName(name, processId, token))
            clean = !StillRuns(processId) && RemoveTemporariesOf(folder, processId, token) && clean;
    } while (::FindNextFileW(search.Get(), &found));
    return clean;
}

bool TTemporaryRecord::Forget(const std::vector<TEntry>& done) const {
    // Read again: what was noted meanwhile stays.
    const TRecordLock lock(File_);
    std::vector<TEntry> entries;
    if (!lock || !Read(entries))
        return false;
    const uint64_t now = NowSeconds();
    std::vector<TEntry> left;
    bool changed = false;
    for (TEntry& entry : entries) {
        if (std::any_of(done.begin(), done.end(), [&](const TEntry& gone) { return SameEntry(gone, entry); })) {
            changed = true;
            continue;
        }
        // Lines of the older form, and times from a clock that was set wrong, age from now on.
        if (entry.Noted == 0 || entry.Noted > now) {
            entry.Noted = now;
            changed = true;
        }
        left.push_back(std::move(entry));
    }
    return !changed || Write(left);
}
