// The entry points of every sample plug-in. Each build picks what it reads (KV_KIND) and, for the
// faulty ones, how it misbehaves (KV_FAULT); the .def file picks which entry points exist.
#include "tests/plugins/Readers.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cwctype>
#include <string>

namespace {

using namespace kvspi;

enum class Kind { kTar, kZip, kStub128 };
enum class Fault {
    kNone,
    kWrongType,
    kEndlessInfo,
    kAcceptAll,
    kGetFileFails,
    kShortBlock,
    kNoMemoryInput,    // GetFileInfo and GetFile refuse memory input
    kNoMemoryGetFile,  // GetFile refuses memory input with a read error
    kNameOnly,         // GetFileInfo matches the file name alone; blocks carry 4 spare bytes
    kNoMemoryOutput,   // GetFile finds no memory for a block
    kCrash,            // GetFileInfo refuses memory input and writes through a null pointer on files, so
                       // that it dies holding a temporary copy made for it
    kHang,             // GetFileInfo never returns
    kSlashNames,       // as Unix-world plug-ins: members are named and matched with "/" only, and listed
                       // with the whole name as the file name and an empty folder
    kStallOnLoad,      // its start-up code (DllMain) never returns, as one that asks the user when loaded
    kSlowLoad,         // its start-up code takes 6 s, as one that reads a big table from a slow disk
    kSlowSteps,        // GetFile first reports 40 steps 25 ms apart, and stops when asked to
    kDeaf,             // GetFile takes 5 s, in steps of 50 ms, and never calls the callback
    kOddProgress,      // GetFile calls the callback with nonsense and ignores its answers
    kListingByThread,  // GetFile with disk input trusts only a lookup or listing of the same file in the
                       // same thread just before; otherwise, and with memory input, it reads the archive
                       // afresh from where it was pointed, and its header is not there: 6
    kMemoryCrash,      // names members with "/"; with memory input GetArchiveInfo and GetFile answer -1,
                       // and GetFileInfo locks the listing its GetArchiveInfo never gave: a crash
    kWaitOnUnload,     // its unloading (DllMain) never returns, as one that waits there for a thread of its own
    kListingStub,      // GetArchiveInfo is a stub that answers -1 for every input; the rest reads memory well
    kInfoCrash,        // GetPluginInfo crashes when asked for its version text (number 1)
    kListingCrash,     // GetArchiveInfo writes through a null pointer; the rest reads well
};

#ifndef KV_FAULT
#define KV_FAULT kNone
#endif
// A plug-in built with KV_EXTENSION takes only files with that extension.
#ifndef KV_EXTENSION
#define KV_EXTENSION nullptr
#endif
// A plug-in built with KV_EXCLUSIVE opens its archive with no sharing, as many real ones do, and
// answers a read error when it cannot.
#ifdef KV_EXCLUSIVE
constexpr DWORD kArchiveSharing = 0;
#else
constexpr DWORD kArchiveSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
#endif
// Counters in named shared memory that tests read, one set for all plug-ins that count, in any process.
[[maybe_unused]] LONG* SharedCounters(const char* name, size_t count) {
    HANDLE mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          static_cast<DWORD>(count * sizeof(LONG)), name);
    return mapping ? static_cast<LONG*>(::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, count * sizeof(LONG)))
                   : nullptr;
}
// A plug-in built with KV_COUNT_GETFILE counts its GetFile calls.
void CountGetFile() {
#ifdef KV_COUNT_GETFILE
    static LONG* count = SharedCounters("KelvaneSampleGetFileCount", 1);
    if (count)
        ::InterlockedIncrement(count);
#endif
}
// A plug-in built with KV_WIDE counts its lookups, listings and extractions: ANSI ones first, wide ones second.
enum class Family { kAnsi, kWide };
void CountFamily([[maybe_unused]] Family family) {
#ifdef KV_WIDE
    static LONG* counts = SharedCounters("KelvaneSampleFamilyCalls", 2);
    if (counts)
        ::InterlockedIncrement(counts + static_cast<int>(family));
#endif
}
// Its ANSI calls spell each Hangul syllable as "_" and a stray byte, one in lookups and listings,
// another in the names its disk output writes.
#ifdef KV_WIDE
constexpr char kListedStray = '\xA1';
constexpr char kWrittenStray = '\xA2';
#else
constexpr char kListedStray = 0;
constexpr char kWrittenStray = 0;
#endif
constexpr Kind kKind = Kind::KV_KIND;
constexpr Fault kFault = Fault::KV_FAULT;
// Positions are whatever a plug-in likes: with KV_DISK_SHIFT, those it gives with disk input count from
// elsewhere than those it gives with memory input, and each is good only for its own input.
#ifdef KV_DISK_SHIFT
constexpr uint32_t kDiskShift = 0x10000;
#else
constexpr uint32_t kDiskShift = 0;
#endif
#ifdef KV_WHOLE_NAMES
constexpr bool kWholeNames = true;  // disk output under the stored folders and name
#else
constexpr bool kWholeNames = false;
#endif
constexpr bool kSlashes = kFault == Fault::kSlashNames || kFault == Fault::kMemoryCrash;

// Tells tests waiting in another process that the plug-in has come to a point.
void Signal(const char* eventName) {
    if (HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, eventName)) {
        ::SetEvent(event);
        ::CloseHandle(event);
    }
}
// The crashing plug-in counts its loads (one a host) and its lookups with memory input.
enum CrashCounter { kLoads, kMemoryLookups };
void CountCrashCall(CrashCounter counter) {
    if constexpr (kFault == Fault::kCrash) {
        static LONG* counts = SharedCounters("KelvaneSampleCrashCalls", 2);
        if (counts)
            ::InterlockedIncrement(counts + counter);
    }
}

constexpr const char* kOwnExtension = KV_EXTENSION;
constexpr int kError = 1;
// IsSupported may rely on no more of `head` than this.
constexpr size_t kHeadSize = 3072 - 128;

// GetPluginInfo's texts by Kind: type, description, then pattern and its description.
constexpr const char* kInfo[][4] = {
    {"00AM", "Kelvane sample tar plug-in", "*.tar", "tar archive"},
    {"00AM", "Kelvane sample ZIP plug-in", "*.zip", "ZIP archive"},
    {"00AM", "Kelvane sample plug-in for tar or ZIP behind a 128-byte KVSTUB header", "*.k128", "KVSTUB container"},
};

enum class Format { kUnknown, kTar, kZip };

// What the bytes at the start of an archive or a member's header are, among what this build reads.
Format Detect(const uint8_t* data, size_t size) {
    if (kKind != Kind::kZip && IsTarHeader(data, size))
        return Format::kTar;
    if (kKind != Kind::kTar && IsZipHeader(data, size))
        return Format::kZip;
    return Format::kUnknown;
}

Format DetectAt(const Source& source) {
    uint8_t head[512];
    const uint32_t size = std::min<uint32_t>(sizeof(head), source.Size());
    return source.Read(0, head, size) ? Detect(head, size) : Format::kUnknown;
}

bool FindAsStored(const Source& archive, const Query& query, fileInfo* info) {
    switch (DetectAt(archive)) {
        case Format::kTar:
            return TarFind(archive, query, info);
        case Format::kZip:
            return ZipFind(archive, query, info);
        default:
            return false;
    }
}

bool Find(const Source& archive, const Query& query, fileInfo* info) {
    if (!FindAsStored(archive, query, info))
        return false;
    if (kDiskShift && !archive.Memory()) {
        info->position += kDiskShift;
        if (query.all)
            for (fileInfo& member : *query.all)
                member.position += kDiskShift;
    }
    return true;
}

bool Extract(const Source& member, OutputBlock& block, const Progress& progress) {
    switch (DetectAt(member)) {
        case Format::kTar:
            return TarExtract(member, block, progress);
        case Format::kZip:
            return ZipExtract(member, block, progress);
        default:
            return false;
    }
}

bool HasExtension(const char* fileName, const char* extension) {
    const size_t wanted = std::strlen(extension);
    const size_t length = fileName ? std::strlen(fileName) : 0;
    return length >= wanted && ::lstrcmpiA(fileName + length - wanted, extension) == 0;
}

// Tells tests which of tar.spi, zip.spi and stub128.spi took a file.
bool TakesName(const char* fileName) {
    if (kKind == Kind::kStub128 && !HasExtension(fileName, ".k128"))
        return false;
    return !kOwnExtension || HasExtension(fileName, kOwnExtension);
}

bool IsMemoryInput(unsigned int flag) {
    return (flag & kSpiInputMask) == kSpiInputMemory;
}

// What GetFile does before its work, by kFault; false when it was asked to stop. Leaves the progress
// that the work itself may report to.
bool BeforeWork(Progress& progress) {
    if constexpr (kFault == Fault::kSlowSteps) {
        constexpr int kSteps = 40;
        for (int step = 0; step < kSteps; ++step) {
            if (!progress.Tell(step, kSteps))
                return false;
            ::Sleep(25);
        }
    }
    if constexpr (kFault == Fault::kDeaf) {
        Signal("KelvaneSampleDeafInside");
        for (int step = 0; step < 100; ++step)
            ::Sleep(50);
        progress = Progress{};
    }
    if constexpr (kFault == Fault::kOddProgress) {
        // No denominator, a negative count, a sane value, one going backwards, one past the end, a
        // negative denominator.
        constexpr int kCalls[][2] = {{5, 0}, {-3, 10}, {7, 10}, {4, 10}, {20, 10}, {3, -5}};
        for (const auto& call : kCalls) {
            if (progress.callback)
                progress.callback(call[0], call[1], progress.data);
        }
        progress = Progress{};
    }
    return true;
}

// 0 when the archive is open; otherwise what the plug-in answers.
int OpenArchive(Source& archive, const char* source, LONG_PTR length, unsigned int flag) {
    if (archive.Open(source, length, flag, kArchiveSharing))
        return 0;
    return kArchiveSharing == 0 ? kSpiFileReadError : kError;
}

int OpenArchive(Source& archive, const WCHAR* source, LONG_PTR length, unsigned int flag) {
    return archive.Open(source, length, flag) ? 0 : kError;
}

// kListingByThread: the file that this thread's last lookup or listing read from disk; empty after
// one with memory input.
std::string& LastListedFile() {
    struct Entry {
        DWORD thread;
        std::string file;
    };
    static std::vector<Entry> threads;
    const DWORD self = ::GetCurrentThreadId();
    for (Entry& entry : threads)
        if (entry.thread == self)
            return entry.file;
    return threads.insert(threads.end(), {self, {}})->file;
}

void NoteListed(const char* source, unsigned int flag) {
    if constexpr (kFault == Fault::kListingByThread)
        LastListedFile() = IsMemoryInput(flag) || !source ? "" : source;
}

// Whether a GetFile of kListingByThread finds its archive: through the listing it kept, or by reading
// the archive afresh from where it was pointed, which is the member's position, not the archive's start.
bool FindsArchive(const char* source, LONG_PTR length, unsigned int flag) {
    if (!IsMemoryInput(flag) && source && ::lstrcmpiA(LastListedFile().c_str(), source) == 0)
        return true;
    Source archive;
    std::vector<fileInfo> members;
    Query query{"", false};
    query.all = &members;
    fileInfo scratch{};
    return archive.Open(source, length, flag) && Find(archive, query, &scratch);
}

// GetFile's work, in either family: disk input and disk output name files in the caller's characters.
template <typename Char>
int ExtractFrom(const Char* source,
                LONG_PTR length,
                void* destination,
                unsigned int flag,
                SpiProgressCallback progressCallback,
                LONG_PTR progressData) {
    try {
        if (!destination)
            return kError;
        Progress progress{progressCallback, progressData};
        if (!BeforeWork(progress))
            return kSpiAborted;
        Source member;
        if (!IsMemoryInput(flag))
            length -= kDiskShift;
        if (const int error = OpenArchive(member, source, length, flag))
            return error;
        // Disk output: destination names the folder to write the member into.
        if ((flag & kSpiOutputMask) == kSpiOutputDisk) {
            if (kKind != Kind::kZip)
                return kSpiNoFunction;
            if (ZipExtractToFolder(member, std::basic_string<Char>(static_cast<const Char*>(destination)), progress,
                                   kWholeNames))
                return 0;
            return progress.stopped ? kSpiAborted : kSpiFileWriteError;
        }
        if ((flag & kSpiOutputMask) != kSpiOutputMemory)
            return kError;
        if (kFault == Fault::kNoMemoryOutput)
            return kSpiNoMemory;
        OutputBlock block;
        if (!Extract(member, block, progress))
            return progress.stopped ? kSpiAborted : kError;
        // Announced filesize stays true; the block is what falls short.
        if (kFault == Fault::kShortBlock && !block.Resize(std::max<uint32_t>(block.Size() / 2, 1)))
            return kError;
        if (kFault == Fault::kNameOnly && !block.Resize(block.Size() + 4))
            return kError;
        *static_cast<HLOCAL*>(destination) = block.Release();
        return 0;
    } catch (...) {
        return kError;
    }
}

// A listing block: the records, ended by a record whose method is empty.
template <typename Record>
int ListingBlock(const std::vector<Record>& records, HLOCAL* listing) {
    OutputBlock block;
    const auto bytes = static_cast<uint32_t>((records.size() + 1) * sizeof(Record));
    if (!block.Allocate(bytes))
        return kSpiNoMemory;
    std::memset(block.Data(), 0, bytes);
    std::memcpy(block.Data(), records.data(), records.size() * sizeof(Record));
    *listing = block.Release();
    return 0;
}

// The wide side, as a real plug-in has it (ZIP only): names whole, matched with "\"
// alone, case folded in ASCII letters only.
bool HasWideExtension(const WCHAR* fileName, const char* extension) {
    const size_t wanted = std::strlen(extension);
    const size_t length = std::wcslen(fileName);
    if (length < wanted)
        return false;
    for (size_t i = 0; i < wanted; ++i)
        if (std::towlower(fileName[length - wanted + i]) != static_cast<wint_t>(std::tolower(extension[i])))
            return false;
    return true;
}

bool TakesWideName(const WCHAR* fileName) {
    return !kOwnExtension || HasWideExtension(fileName, kOwnExtension);
}

wchar_t FoldAsciiWide(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool SameWideName(const std::wstring& name, const WCHAR* wanted, bool fold) {
    if (name.size() != std::wcslen(wanted))
        return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (fold ? FoldAsciiWide(name[i]) != FoldAsciiWide(wanted[i]) : name[i] != wanted[i])
            return false;
    return true;
}

bool ListWide(const Source& archive, std::vector<fileInfo>& members, std::vector<std::wstring>& names) {
    Query query{"", false};
    query.all = &members;
    query.wideNames = &names;
    fileInfo scratch{};
    return Find(archive, query, &scratch) && members.size() == names.size();
}

fileInfoW WideRecord(const fileInfo& found, const std::wstring& name) {
    fileInfoW record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(record.method, found.method, sizeof record.method);
    record.position = found.position;
    record.compsize = found.compsize;
    record.filesize = found.filesize;
    record.timestamp = found.timestamp;
    record.crc = found.crc;
    const size_t split = name.find_last_of(L'\\') + 1;  // 0 without a folder
    constexpr size_t kLast = std::size(record.path) - 1;
    name.copy(record.path, std::min(split, kLast));
    name.copy(record.filename, std::min(name.size() - split, kLast), split);
    return record;
}

}  // namespace

extern "C" {

int WINAPI GetArchiveInfo(const char* source, LONG_PTR length, unsigned int flag, HLOCAL* listing);


BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        CountCrashCall(kLoads);
    if constexpr (kFault == Fault::kWaitOnUnload) {
        if (reason == DLL_PROCESS_DETACH) {
            Signal("KelvaneSampleUnloading");
            for (;;)
                ::Sleep(INFINITE);
        }
    }
    if constexpr (kFault == Fault::kStallOnLoad) {
        if (reason == DLL_PROCESS_ATTACH)
            for (;;)
                ::Sleep(INFINITE);
    }
    if constexpr (kFault == Fault::kSlowLoad) {
        if (reason == DLL_PROCESS_ATTACH) {
            // Tests wait for this to know that a host is inside the loading.
            Signal("KelvaneSampleSlowLoading");
            ::Sleep(6000);
        }
    }
    return TRUE;
}

int WINAPI GetPluginInfo(int infoNumber, char* buffer, int bufferLength) {
    const char* text = nullptr;
    if (kFault == Fault::kEndlessInfo)
        text = infoNumber == 0 ? "00AM" : "*.tar";
    else if (kFault == Fault::kInfoCrash && infoNumber == 1)
        *static_cast<volatile int*>(nullptr) = 1;
    else if (kFault == Fault::kWrongType && infoNumber == 0)
        text = "00IN";
    else if (infoNumber >= 0 && infoNumber < 4)
        text = kInfo[static_cast<int>(kKind)][infoNumber];
    if (!text || !buffer || bufferLength <= 0)
        return 0;
    const size_t length = std::min(std::strlen(text), static_cast<size_t>(bufferLength - 1));
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

int WINAPI IsSupported(const char* fileName, const void* head) {
    // Accepts everything but names with "refuse" in them, so that tests can bring another plug-in
    // to the front of the list first.
    if (kFault == Fault::kAcceptAll)
        return !fileName || !std::strstr(fileName, "refuse");
    // The crashing and the hanging plug-in go by name alone: no other plug-in reads their files.
    if (kFault == Fault::kCrash || kFault == Fault::kHang)
        return TakesName(fileName);
    if (!head || !TakesName(fileName))
        return 0;
    return Detect(static_cast<const uint8_t*>(head), kHeadSize) != Format::kUnknown;
}

int WINAPI GetFileInfo(const char* source, LONG_PTR length, const char* memberPath, unsigned int flag, fileInfo* info) {
    CountFamily(Family::kAnsi);
    SetHangulStray(kListedStray);
    if (kFault == Fault::kCrash) {
        if (IsMemoryInput(flag)) {
            CountCrashCall(kMemoryLookups);
            return kSpiUnknownFormat;
        }
        int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    if constexpr (kFault == Fault::kHang) {
        // Like the crashing one, it hangs while a temporary copy is made for it.
        if (IsMemoryInput(flag))
            return kSpiUnknownFormat;
        Signal("KelvaneSampleHanging");
        for (;;)
            ::Sleep(INFINITE);
    }
    if (kFault == Fault::kNoMemoryInput && IsMemoryInput(flag))
        return kSpiUnknownFormat;
    if (kFault == Fault::kMemoryCrash && IsMemoryInput(flag)) {
        HLOCAL listing = nullptr;
        GetArchiveInfo(source, length, flag, &listing);
        const auto* first = static_cast<const fileInfo*>(::LocalLock(listing));
        return first->method[0] ? 0 : kError;
    }
    NoteListed(source, flag);
    try {
        if (!memberPath || !info)
            return kError;
        Source archive;
        if (const int error = OpenArchive(archive, source, length, flag))
            return error;
        const Query query{memberPath, (flag & kSpiIgnoreCase) != 0, kFault == Fault::kNameOnly,
                          kSlashes};
        fileInfo found{};
        if (!Find(archive, query, &found))
            return kError;
        *info = found;
        return 0;
    } catch (...) {
        return kError;
    }
}

int WINAPI GetFile(const char* source,
                   LONG_PTR length,
                   void* destination,
                   unsigned int flag,
                   SpiProgressCallback progressCallback,
                   LONG_PTR progressData) {
    CountGetFile();
    CountFamily(Family::kAnsi);
    if constexpr (kFault == Fault::kGetFileFails)
        return kError;
    if (kFault == Fault::kNoMemoryInput && IsMemoryInput(flag))
        return kSpiUnknownFormat;
    if (kFault == Fault::kNoMemoryGetFile && IsMemoryInput(flag))
        return kSpiFileReadError;
    if (kFault == Fault::kMemoryCrash && IsMemoryInput(flag))
        return kSpiNoFunction;
    if (kFault == Fault::kListingByThread && !FindsArchive(source, length, flag))
        return kSpiFileReadError;
    SetHangulStray(kWrittenStray);
    return ExtractFrom(source, length, destination, flag, progressCallback, progressData);
}

int WINAPI GetArchiveInfo(const char* source, LONG_PTR length, unsigned int flag, HLOCAL* listing) {
    CountFamily(Family::kAnsi);
    SetHangulStray(kListedStray);
    if ((kFault == Fault::kMemoryCrash && IsMemoryInput(flag)) || kFault == Fault::kListingStub)
        return kSpiNoFunction;
    if (kFault == Fault::kListingCrash)
        *static_cast<volatile int*>(nullptr) = 1;
    NoteListed(source, flag);
    try {
        if (!listing)
            return kError;
        Source archive;
        if (const int error = OpenArchive(archive, source, length, flag))
            return error;
        std::vector<fileInfo> members;
        Query query{"", false, false, kSlashes};
        query.all = &members;
        fileInfo scratch{};
        if (!Find(archive, query, &scratch))
            return kError;
        return ListingBlock(members, listing);
    } catch (...) {
        return kError;
    }
}

int WINAPI IsSupportedW(const WCHAR* fileName, const void* head) {
    if (!fileName || !head || !TakesWideName(fileName))
        return 0;
    return Detect(static_cast<const uint8_t*>(head), kHeadSize) != Format::kUnknown;
}

int WINAPI GetFileInfoW(const WCHAR* source, LONG_PTR length, const WCHAR* memberPath, unsigned int flag,
                        fileInfoW* info) {
    CountFamily(Family::kWide);
    try {
        Source archive;
        std::vector<fileInfo> members;
        std::vector<std::wstring> names;
        if (!memberPath || !info || OpenArchive(archive, source, length, flag) || !ListWide(archive, members, names))
            return kError;
        // Spelled exactly as asked first, then, when asked, the same but for the case of ASCII letters.
        for (const bool fold : {false, (flag & kSpiIgnoreCase) != 0}) {
            for (size_t i = 0; i < members.size(); ++i) {
                if (SameWideName(names[i], memberPath, fold)) {
                    *info = WideRecord(members[i], names[i]);
                    return 0;
                }
            }
        }
        return kError;
    } catch (...) {
        return kError;
    }
}

int WINAPI GetFileW(const WCHAR* source,
                    LONG_PTR length,
                    void* destination,
                    unsigned int flag,
                    SpiProgressCallback progressCallback,
                    LONG_PTR progressData) {
    CountFamily(Family::kWide);
    return ExtractFrom(source, length, destination, flag, progressCallback, progressData);
}

int WINAPI GetArchiveInfoW(const WCHAR* source, LONG_PTR length, unsigned int flag, HLOCAL* listing) {
    CountFamily(Family::kWide);
    try {
        Source archive;
        std::vector<fileInfo> members;
        std::vector<std::wstring> names;
        if (!listing || OpenArchive(archive, source, length, flag) || !ListWide(archive, members, names))
            return kError;
        std::vector<fileInfoW> records;
        for (size_t i = 0; i < members.size(); ++i)
            records.push_back(WideRecord(members[i], names[i]));
        return ListingBlock(records, listing);
    } catch (...) {
        return kError;
    }
}

// Its settings: a message box owned by the window it is given, which tests find by its caption.
int WINAPI ConfigurationDlg(HWND parent, int fnc) {
    if (fnc != 1)
        return -1;
    ::MessageBoxA(parent, "Kelvane sample settings", "Kelvane sample settings", MB_OK);
    return 0;
}

}  // extern "C"
