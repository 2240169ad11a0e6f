#include "jobs/QueueJournal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "base/SystemPath.h"
#include "engine/DestinationWrite.h"
#include "engine/Temporary.h"
#include "jobs/DataFolder.h"

namespace {

// "Kelvane queue <version>\n". Version 2 added the kinds I, T and S; a file of a later version may
// hold records this build would misread, so it is not read at all.
constexpr std::string_view kHeaderStart = "Kelvane queue ";
constexpr unsigned kVersion = 2;
const std::string kHeader = std::string(kHeaderStart) + std::to_string(kVersion) + "\n";
// Each record: the mark, the body's size, the body's CRC-32, the body. The mark is where reading
// picks up again after a stretch that does not check out.
constexpr std::string_view kMark = "\x7FKvq";
constexpr size_t kRecordHead = 12;
constexpr uint32_t kMaxBody = 1u << 20;
// Beyond this the file is not ours to trust; what follows counts as damaged.
constexpr DWORD kMaxFileBytes = 1u << 30;
// Garbage the file may carry past twice its live records before it is written again.
constexpr uint64_t kSlackBytes = 64 * 1024;
// A program that quits closes the file just before a start may open it: a start waits this long for
// the file to be free.
constexpr ULONGLONG kBusyWaitMs = 2000;
constexpr DWORD kBusyRetryMs = 50;

enum : char {
    kAdd = 'A',
    kAddAfter = 'I',
    kRemove = 'D',
    kMove = 'M',
    kTaken = 'T',
    kRetarget = 'R',
    kRuns = 'S',
};

uint32_t Crc32(std::string_view bytes) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> made{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            made[i] = c;
        }
        return made;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : bytes)
        crc = table[(crc ^ static_cast<uint8_t>(byte)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

template <typename T>
void Put(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void PutText(std::string& out, std::string_view text) {
    Put(out, static_cast<uint32_t>(text.size()));
    out += text;
}

// Reads a body front to back; any read past its end makes it unsound.
class TBodyReader {
public:
    explicit TBodyReader(std::string_view body) : Rest(body) {}
    template <typename T>
    T Get() {
        T value{};
        if (Rest.size() < sizeof value) {
            Sound = false;
            return value;
        }
        std::memcpy(&value, Rest.data(), sizeof value);
        Rest.remove_prefix(sizeof value);
        return value;
    }
    std::string_view GetText() {
        const auto size = Get<uint32_t>();
        if (!Sound || Rest.size() < size) {
            Sound = false;
            return {};
        }
        const std::string_view text = Rest.substr(0, size);
        Rest.remove_prefix(size);
        return text;
    }
    // Everything read, nothing left over.
    bool Done() const { return Sound && Rest.empty(); }

private:
    std::string_view Rest;
    bool Sound = true;
};

// Appends a record whose body starts with op and id and goes on as putRest writes it; its size and
// checksum are filled in once it is there, so the body is never copied.
template <typename TPutRest>
void PutRecord(std::string& out, char op, uint64_t id, TPutRest putRest) {
    const size_t start = out.size();
    out += kMark;
    out.append(8, '\0');
    out += op;
    Put(out, id);
    putRest(out);
    const std::string_view body = std::string_view(out).substr(start + kRecordHead);
    const auto size = static_cast<uint32_t>(body.size());
    const uint32_t crc = Crc32(body);
    std::memcpy(&out[start + 4], &size, 4);
    std::memcpy(&out[start + 8], &crc, 4);
}

void PutAddRecord(std::string& out, uint64_t id, std::string_view source, std::string_view destination) {
    PutRecord(out, kAdd, id, [&](std::string& body) {
        PutText(body, source);
        PutText(body, destination);
    });
}

uint64_t AddRecordSize(std::string_view source, std::string_view destination) {
    return kRecordHead + 1 + 8 + 4 + source.size() + 4 + destination.size();
}

// The sound record at `at`, whole, and where the next one begins.
bool RecordAt(std::string_view bytes, size_t at, std::string_view& record) {
    if (bytes.size() - at < kRecordHead || bytes.substr(at, kMark.size()) != kMark)
        return false;
    uint32_t size = 0;
    uint32_t crc = 0;
    std::memcpy(&size, bytes.data() + at + 4, 4);
    std::memcpy(&crc, bytes.data() + at + 8, 4);
    if (size > kMaxBody || size > bytes.size() - at - kRecordHead)
        return false;
    record = bytes.substr(at, kRecordHead + size);
    return Crc32(record.substr(kRecordHead)) == crc;
}

// The job of a sound record that adds one.
TKeptJob AddedJob(std::string_view record) {
    TBodyReader read(record.substr(kRecordHead + 1));
    const auto id = read.Get<uint64_t>();
    const std::string_view source = read.GetText();
    return {id, std::string(source), std::string(read.GetText())};
}

// The header's version, and where the records start; 0 for a file without a header of ours.
unsigned HeaderVersion(std::string_view bytes, size_t& at) {
    if (bytes.substr(0, kHeaderStart.size()) != kHeaderStart)
        return 0;
    unsigned version = 0;
    size_t end = kHeaderStart.size();
    for (; end < bytes.size() && end < kHeaderStart.size() + 9 && bytes[end] >= '0' && bytes[end] <= '9'; ++end)
        version = version * 10 + (bytes[end] - '0');
    if (end == kHeaderStart.size() || end >= bytes.size() || bytes[end] != '\n')
        return 0;
    at = end + 1;
    return version;
}

// False when the file exists but could not be read: then it must not be written over either.
bool ReadWhole(const std::string& path, std::string& bytes, bool& cut) {
    UniqueHandle file;
    for (const ULONGLONG until = ::GetTickCount64() + kBusyWaitMs;;) {
        file.Reset(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file)
            break;
        const DWORD error = ::GetLastError();
        if (error != ERROR_SHARING_VIOLATION || ::GetTickCount64() >= until)
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        ::Sleep(kBusyRetryMs);
    }
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.Get(), &size))
        return false;
    cut = size.QuadPart > kMaxFileBytes;
    bytes.resize(static_cast<size_t>(std::min<LONGLONG>(size.QuadPart, kMaxFileBytes)));
    for (size_t done = 0; done < bytes.size();) {
        DWORD read = 0;
        if (!::ReadFile(file.Get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read, nullptr))
            return false;
        if (read == 0) {
            bytes.resize(done);
            break;
        }
        done += read;
    }
    return true;
}

}  // namespace

std::string TQueueJournal::DefaultFile() {
    return UserDataFile("queue.dat");
}

std::string TQueueJournal::DamagedFileOf(const std::string& file) {
    return file + ".damaged";
}

TQueueJournal::TQueueJournal(std::string file) : File_(std::move(file)) {
    Load();
}

std::vector<TKeptJob> TQueueJournal::Jobs() const {
    std::vector<TKeptJob> jobs;
    jobs.reserve(Live.size());
    for (const TLive& live : Live) {
        jobs.push_back(AddedJob(live.Record));
        jobs.back().Runs = live.Runs;
    }
    return jobs;
}

void TQueueJournal::Load() {
    std::string bytes;
    bool cut = false;
    if (!ReadWhole(File_, bytes, cut)) {
        Kept_ = false;
        Unread = true;
        return;
    }
    size_t at = 0;
    const unsigned version = HeaderVersion(bytes, at);
    if (version > kVersion) {
        Newer_ = true;
        Kept_ = false;
        Unread = true;
        return;
    }
    Damaged_ = cut || (version == 0 && !bytes.empty());
    while (at < bytes.size()) {
        std::string_view record;
        if (RecordAt(bytes, at, record) && Apply(record)) {
            at += record.size();
            continue;
        }
        Damaged_ = true;
        at = bytes.find(kMark, at + 1);
    }
    // The program ended, and not by the user's exit, which keeps nothing: a job that ran then has
    // run at one more end in a row; any other starts its count afresh, unless it waits already.
    for (TLive& live : Live) {
        if (live.Running)
            live.Runs = std::min(live.Runs + 1, kHeldRuns);
        else if (live.Runs < kHeldRuns)
            live.Runs = 0;
        live.Running = false;
    }
    // Only what was read is written again: the file as it was stays for whoever wants to look.
    if (Damaged_)
        ::CopyFileW(SystemPath(File_).c_str(), SystemPath(DamagedFileOf(File_)).c_str(), FALSE);
    Kept_ = Rewrite();
}

bool TQueueJournal::Apply(std::string_view record) {
    TBodyReader read(record.substr(kRecordHead));
    const char op = read.Get<char>();
    const auto id = read.Get<uint64_t>();
    const auto found = ById.find(id);
    const bool live = found != ById.end();
    switch (op) {
    case kAdd: {
        read.GetText();
        read.GetText();
        if (!read.Done() || id == 0)
            return false;
        // Added twice: the first stands.
        if (!live)
            AddLive(id, std::string(record), Live.end());
        return true;
    }
    case kAddAfter: {
        const auto after = read.Get<uint64_t>();
        const std::string_view source = read.GetText();
        const std::string_view destination = read.GetText();
        if (!read.Done() || id == 0)
            return false;
        if (!live) {
            // Kept as the record that adds it, which a rewrite strings together with the others.
            std::string added;
            PutAddRecord(added, id, source, destination);
            AddLive(id, std::move(added), After(after));
        }
        return true;
    }
    case kTaken:
        if (!read.Done())
            return false;
        if (live) {
            Live.splice(Live.begin(), Live, found->second);
            found->second->Running = true;
        }
        return true;
    case kRuns: {
        const auto runs = read.Get<uint32_t>();
        const auto running = read.Get<uint8_t>();
        if (!read.Done())
            return false;
        if (live) {
            found->second->Runs = std::min(runs, kHeldRuns);
            found->second->Running = running != 0;
        }
        return true;
    }
    case kRemove:
        if (!read.Done())
            return false;
        if (live) {
            LiveBytes -= found->second->Record.size();
            Live.erase(found->second);
            ById.erase(found);
        }
        return true;
    case kMove: {
        const auto after = read.Get<uint64_t>();
        if (!read.Done())
            return false;
        if (live && after != id)
            Live.splice(After(after), Live, found->second);
        return true;
    }
    case kRetarget: {
        const std::string_view destination = read.GetText();
        if (!read.Done())
            return false;
        if (live) {
            std::string& kept = found->second->Record;
            std::string changed;
            PutAddRecord(changed, id, AddedJob(kept).Source, destination);
            LiveBytes = LiveBytes - kept.size() + changed.size();
            kept = std::move(changed);
        }
        return true;
    }
    default:
        return false;
    }
}

void TQueueJournal::AddLive(uint64_t id, std::string record, TList::iterator place) {
    LiveBytes += record.size();
    ById.emplace(id, Live.insert(place, {id, std::move(record)}));
}

TQueueJournal::TList::iterator TQueueJournal::After(uint64_t after) {
    const auto anchor = ById.find(after);
    return anchor == ById.end() ? Live.begin() : std::next(anchor->second);
}

bool TQueueJournal::FlushDue() const {
    return ::GetTickCount64() - LastFlush >= kFlushDelayMs;
}

void TQueueJournal::Add(const std::vector<TKeptJobView>& jobs) {
    uint64_t size = 0;
    for (const TKeptJobView& job : jobs)
        size += AddRecordSize(job.Source, job.Destination);
    std::string records;
    records.reserve(size);
    ById.reserve(ById.size() + jobs.size());
    for (const TKeptJobView& job : jobs) {
        if (job.Id == 0 || ById.count(job.Id))
            continue;
        const size_t start = records.size();
        PutAddRecord(records, job.Id, job.Source, job.Destination);
        AddLive(job.Id, records.substr(start), Live.end());
    }
    Commit(records);
}

void TQueueJournal::Insert(const TKeptJobView& job, uint64_t after) {
    if (job.Id == 0 || ById.count(job.Id))
        return;
    std::string record;
    PutRecord(record, kAddAfter, job.Id, [&](std::string& body) {
        Put(body, ById.count(after) ? after : uint64_t{0});
        PutText(body, job.Source);
        PutText(body, job.Destination);
    });
    Apply(record);
    Commit(record);
}

void TQueueJournal::Taken(uint64_t id) {
    const auto found = ById.find(id);
    if (found == ById.end())
        return;
    const bool moves = found->second != Live.begin();
    std::string record;
    PutRecord(record, kTaken, id, [](std::string&) {});
    Apply(record);
    Commit(record, moves || FlushDue());
}

void TQueueJournal::Remove(const std::vector<uint64_t>& ids) {
    std::string records;
    for (const uint64_t id : ids) {
        if (!ById.count(id))
            continue;
        const size_t start = records.size();
        PutRecord(records, kRemove, id, [](std::string&) {});
        Apply(std::string_view(records).substr(start));
    }
    Commit(records);
}

void TQueueJournal::Ended(uint64_t id) {
    if (!ById.count(id))
        return;
    std::string record;
    PutRecord(record, kRemove, id, [](std::string&) {});
    Apply(record);
    Commit(record, FlushDue());
}

void TQueueJournal::Flush() {
    if (Handle && Unflushed && ::FlushFileBuffers(Handle.Get()))
        Unflushed = false;
}

void TQueueJournal::Move(uint64_t id, uint64_t after) {
    const auto found = ById.find(id);
    if (found == ById.end() || after == id)
        return;
    const TList::iterator place = After(after);
    // Already there: nothing to write.
    if (place == found->second || std::next(found->second) == place)
        return;
    std::string record;
    PutRecord(record, kMove, id, [&](std::string& body) { Put(body, ById.count(after) ? after : uint64_t{0}); });
    Apply(record);
    Commit(record);
}

void TQueueJournal::Retarget(const std::vector<std::pair<uint64_t, std::string>>& destinations) {
    std::string records;
    for (const auto& [id, destination] : destinations) {
        if (!ById.count(id))
            continue;
        const size_t start = records.size();
        PutRecord(records, kRetarget, id, [&](std::string& body) { PutText(body, destination); });
        Apply(std::string_view(records).substr(start));
    }
    Commit(records);
}

void TQueueJournal::Commit(const std::string& records, bool flushNow) {
    if (records.empty() || Unread)
        return;
    const bool wasKept = Kept_;
    if (Handle && FileBytes + records.size() <= 2 * LiveBytes + kSlackBytes)
        Kept_ = Append(records, flushNow) || Rewrite();
    else
        Kept_ = Rewrite();
    if (wasKept && !Kept_ && Lost)
        Lost();
}

bool TQueueJournal::Append(const std::string& records, bool flushNow) {
    const char* data = records.data();
    for (size_t left = records.size(); left > 0;) {
        DWORD written = 0;
        if (!::WriteFile(Handle.Get(), data, static_cast<DWORD>(std::min<size_t>(left, 1u << 30)), &written, nullptr) ||
            written == 0) {
            Handle.Reset();
            return false;
        }
        data += written;
        left -= written;
    }
    FileBytes += records.size();
    // A flush takes what was left unflushed before along.
    Unflushed = !flushNow;
    if (flushNow) {
        if (!::FlushFileBuffers(Handle.Get())) {
            Handle.Reset();
            return false;
        }
        LastFlush = ::GetTickCount64();
    }
    return true;
}

bool TQueueJournal::Rewrite() {
    std::string bytes(kHeader);
    bytes.reserve(kHeader.size() + LiveBytes);
    for (const TLive& live : Live) {
        bytes += live.Record;
        if (live.Runs > 0 || live.Running)
            PutRecord(bytes, kRuns, live.Id, [&](std::string& body) {
                Put(body, live.Runs);
                Put(body, static_cast<uint8_t>(live.Running));
            });
    }
    Handle.Reset();
    ::CreateDirectoryW(SystemPath(FolderOf(File_)).c_str(), nullptr);
    if (bytes.size() > kMaxFileBytes ||
        !WriteBlockToFile(File_, bytes.data(), static_cast<uint32_t>(bytes.size())))
        return false;
    FileBytes = bytes.size();
    Unflushed = false;
    LastFlush = ::GetTickCount64();
    return OpenForAppend();
}

bool TQueueJournal::OpenForAppend() {
    Handle.Reset(::CreateFileW(SystemPath(File_).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!Handle || !::SetFilePointerEx(Handle.Get(), {}, &size, FILE_END) ||
        static_cast<uint64_t>(size.QuadPart) != FileBytes) {
        Handle.Reset();
        return false;
    }
    return true;
}
