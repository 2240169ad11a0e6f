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

constexpr std::string_view kHeader = "Kelvane queue 1\n";
// Each record: the mark, the body's size, the body's CRC-32, the body. The mark is where reading
// picks up again after a stretch that does not check out.
constexpr std::string_view kMark = "\x7FKvq";
constexpr size_t kRecordHead = 12;
constexpr uint32_t kMaxBody = 1u << 20;
// Beyond this the file is not ours to trust; what follows counts as damaged.
constexpr DWORD kMaxFileBytes = 1u << 30;
// Garbage the file may carry past twice its live records before it is written again.
constexpr uint64_t kSlackBytes = 64 * 1024;

enum : char { kAdd = 'A', kRemove = 'D', kMove = 'M', kRetarget = 'R' };

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

void PutText(std::string& out, const std::string& text) {
    Put(out, static_cast<uint32_t>(text.size()));
    out += text;
}

// Reads the body front to back; any read past its end makes it unsound.
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
    std::string GetText() {
        const auto size = Get<uint32_t>();
        if (!Sound || Rest.size() < size) {
            Sound = false;
            return {};
        }
        std::string text(Rest.substr(0, size));
        Rest.remove_prefix(size);
        return text;
    }
    // Everything read, nothing left over.
    bool Done() const { return Sound && Rest.empty(); }

private:
    std::string_view Rest;
    bool Sound = true;
};

void PutRecord(std::string& out, const std::string& body) {
    out += kMark;
    Put(out, static_cast<uint32_t>(body.size()));
    Put(out, Crc32(body));
    out += body;
}

std::string Body(char op, uint64_t id) {
    std::string body(1, op);
    Put(body, id);
    return body;
}

std::string AddRecord(const TKeptJob& job) {
    std::string body = Body(kAdd, job.Id);
    PutText(body, job.Source);
    PutText(body, job.Destination);
    std::string record;
    PutRecord(record, body);
    return record;
}

uint64_t AddRecordSize(const TKeptJob& job) {
    return kRecordHead + 1 + 8 + 4 + job.Source.size() + 4 + job.Destination.size();
}

// The body of the sound record at `at`, and where the next one begins.
bool RecordAt(std::string_view bytes, size_t at, std::string_view& body, size_t& next) {
    if (bytes.size() - at < kRecordHead || bytes.substr(at, kMark.size()) != kMark)
        return false;
    uint32_t size = 0;
    uint32_t crc = 0;
    std::memcpy(&size, bytes.data() + at + 4, 4);
    std::memcpy(&crc, bytes.data() + at + 8, 4);
    if (size > kMaxBody || size > bytes.size() - at - kRecordHead)
        return false;
    body = bytes.substr(at + kRecordHead, size);
    next = at + kRecordHead + size;
    return Crc32(body) == crc;
}

// False when the file exists but could not be read: then it must not be written over either.
bool ReadWhole(const std::string& path, std::string& bytes, bool& cut) {
    UniqueHandle file(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
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
    return {Live.begin(), Live.end()};
}

void TQueueJournal::Load() {
    std::string bytes;
    bool cut = false;
    if (!ReadWhole(File_, bytes, cut)) {
        Kept_ = false;
        Unread = true;
        return;
    }
    Damaged_ = cut;
    size_t at = 0;
    if (std::string_view(bytes).substr(0, kHeader.size()) == kHeader)
        at = kHeader.size();
    else if (!bytes.empty())
        Damaged_ = true;
    while (at < bytes.size()) {
        std::string_view body;
        size_t next = 0;
        if (RecordAt(bytes, at, body, next) && Apply(std::string(body))) {
            at = next;
            continue;
        }
        Damaged_ = true;
        at = bytes.find(kMark, at + 1);
    }
    // Only what was read is written again: the file as it was stays for whoever wants to look.
    if (Damaged_)
        ::CopyFileW(SystemPath(File_).c_str(), SystemPath(DamagedFileOf(File_)).c_str(), FALSE);
    Kept_ = Rewrite();
}

bool TQueueJournal::Apply(const std::string& body) {
    TBodyReader read(body);
    const char op = read.Get<char>();
    const auto id = read.Get<uint64_t>();
    const auto found = ById.find(id);
    const bool live = found != ById.end();
    switch (op) {
    case kAdd: {
        TKeptJob job{id, read.GetText(), read.GetText()};
        if (!read.Done() || id == 0)
            return false;
        // Added twice: the first stands.
        if (!live)
            AddLive(std::move(job));
        return true;
    }
    case kRemove:
        if (!read.Done())
            return false;
        if (live) {
            LiveBytes -= AddRecordSize(*found->second);
            Live.erase(found->second);
            ById.erase(found);
        }
        return true;
    case kMove: {
        const auto after = read.Get<uint64_t>();
        if (!read.Done())
            return false;
        if (live && after != id) {
            const auto anchor = ById.find(after);
            Live.splice(anchor == ById.end() ? Live.begin() : std::next(anchor->second), Live, found->second);
        }
        return true;
    }
    case kRetarget: {
        std::string destination = read.GetText();
        if (!read.Done())
            return false;
        if (live) {
            LiveBytes = LiveBytes - found->second->Destination.size() + destination.size();
            found->second->Destination = std::move(destination);
        }
        return true;
    }
    default:
        return false;
    }
}

void TQueueJournal::AddLive(TKeptJob job) {
    LiveBytes += AddRecordSize(job);
    const uint64_t id = job.Id;
    Live.push_back(std::move(job));
    ById.emplace(id, std::prev(Live.end()));
}

void TQueueJournal::Add(const std::vector<TKeptJob>& jobs) {
    std::string records;
    for (const TKeptJob& job : jobs) {
        if (job.Id == 0 || ById.count(job.Id))
            continue;
        records += AddRecord(job);
        AddLive(job);
    }
    Commit(records);
}

void TQueueJournal::Remove(const std::vector<uint64_t>& ids) {
    std::string records;
    for (const uint64_t id : ids) {
        const std::string body = Body(kRemove, id);
        if (ById.count(id) && Apply(body))
            PutRecord(records, body);
    }
    Commit(records);
}

void TQueueJournal::Move(uint64_t id, uint64_t after) {
    const auto found = ById.find(id);
    if (found == ById.end() || after == id)
        return;
    const auto anchor = ById.find(after);
    const TList::iterator place = anchor == ById.end() ? Live.begin() : std::next(anchor->second);
    // Already there: nothing to write. The usual case, the front job taken by the worker.
    if (place == found->second || std::next(found->second) == place)
        return;
    std::string body = Body(kMove, id);
    Put(body, anchor == ById.end() ? uint64_t{0} : after);
    Apply(body);
    std::string record;
    PutRecord(record, body);
    Commit(record);
}

void TQueueJournal::Retarget(const std::vector<std::pair<uint64_t, std::string>>& destinations) {
    std::string records;
    for (const auto& [id, destination] : destinations) {
        std::string body = Body(kRetarget, id);
        PutText(body, destination);
        if (ById.count(id) && Apply(body))
            PutRecord(records, body);
    }
    Commit(records);
}

void TQueueJournal::Commit(const std::string& records) {
    if (records.empty() || Unread)
        return;
    const bool wasKept = Kept_;
    if (Handle && FileBytes + records.size() <= 2 * LiveBytes + kSlackBytes)
        Kept_ = Append(records) || Rewrite();
    else
        Kept_ = Rewrite();
    if (wasKept && !Kept_ && Lost)
        Lost();
}

bool TQueueJournal::Append(const std::string& records) {
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
    if (!::FlushFileBuffers(Handle.Get())) {
        Handle.Reset();
        return false;
    }
    FileBytes += records.size();
    return true;
}

bool TQueueJournal::Rewrite() {
    std::string bytes(kHeader);
    bytes.reserve(kHeader.size() + LiveBytes);
    for (const TKeptJob& job : Live)
        bytes += AddRecord(job);
    Handle.Reset();
    ::CreateDirectoryW(SystemPath(FolderOf(File_)).c_str(), nullptr);
    if (bytes.size() > kMaxFileBytes ||
        !WriteBlockToFile(File_, bytes.data(), static_cast<uint32_t>(bytes.size())))
        return false;
    FileBytes = bytes.size();
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
