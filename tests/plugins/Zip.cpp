#include "tests/plugins/Readers.h"

#include <zlib.h>

#include "base/PathText.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

namespace kvspi {
namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kLocalSize = 30;
constexpr uint32_t kCentralSize = 46;
constexpr uint32_t kEndSize = 22;
constexpr uint32_t kMaxComment = 0xFFFF;
constexpr uint16_t kEncrypted = 1 << 0;
constexpr uint16_t kSizesFollowData = 1 << 3;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kZip64Extra = 0x0001;
constexpr uint16_t kUnicodePathExtra = 0x7075;
// Growth limit when only the end of the deflate stream tells the size.
constexpr uint32_t kMaxGrownSize = 1u << 30;

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t U32(const uint8_t* p) {
    return U16(p) | static_cast<uint32_t>(U16(p + 2)) << 16;
}

uint32_t UnixTime(uint16_t dosDate, uint16_t dosTime) {
    constexpr uint64_t kUnixEpoch = 116444736000000000;  // 1970-01-01 in FILETIME ticks
    FILETIME local;
    FILETIME utc;
    if (!::DosDateTimeToFileTime(dosDate, dosTime, &local) || !::LocalFileTimeToFileTime(&local, &utc))
        return 0;
    const uint64_t ticks = static_cast<uint64_t>(utc.dwHighDateTime) << 32 | utc.dwLowDateTime;
    return ticks < kUnixEpoch ? 0 : static_cast<uint32_t>((ticks - kUnixEpoch) / 10000000);
}

struct Extra {
    const uint8_t* data = nullptr;
    uint16_t size = 0;
};

Extra FindExtra(const uint8_t* extra, uint16_t extraSize, uint16_t id) {
    for (uint32_t p = 0; extraSize - p >= 4;) {
        const uint16_t size = U16(extra + p + 2);
        if (size > extraSize - p - 4)
            break;
        if (U16(extra + p) == id)
            return {extra + p + 4, size};
        p += 4 + size;
    }
    return {};
}

// Info-ZIP's Unicode path extra field wins over the stored name when it still belongs to it.
std::string_view EntryRaw(const uint8_t* name, uint16_t nameSize, const uint8_t* extra, uint16_t extraSize) {
    const Extra unicode = FindExtra(extra, extraSize, kUnicodePathExtra);
    if (unicode.size >= 5 && unicode.data[0] == 1 && U32(unicode.data + 1) == crc32(0, name, nameSize))
        return {reinterpret_cast<const char*>(unicode.data + 5), unicode.size - 5u};
    return {reinterpret_cast<const char*>(name), nameSize};
}

std::string EntryName(const uint8_t* name,
                      uint16_t nameSize,
                      const uint8_t* extra,
                      uint16_t extraSize,
                      bool slashes = false) {
    return MemberName(EntryRaw(name, nameSize, extra, extraSize), slashes);
}

// Streaming writers mark sizes and offsets as 0xFFFFFFFF and keep them in the ZIP64 extra field, in
// the order given; they are usable while they fit in 32 bits.
bool ApplyZip64(const uint8_t* extra, uint16_t extraSize, std::initializer_list<uint32_t*> fields) {
    const Extra zip64 = FindExtra(extra, extraSize, kZip64Extra);
    uint32_t p = 0;
    for (uint32_t* field : fields) {
        if (*field != UINT32_MAX)
            continue;
        if (zip64.size < p + 8 || U32(zip64.data + p + 4) != 0 || U32(zip64.data + p) == UINT32_MAX)
            return false;
        *field = U32(zip64.data + p);
        p += 8;
    }
    return true;
}

// Raw deflate data at [offset, offset + inputSize) into a new block. `expected` is the exact size;
// without it the block grows until the stream ends.
bool Inflate(const Source& source,
             uint32_t offset,
             uint32_t inputSize,
             std::optional<uint32_t> expected,
             OutputBlock& block) {
    constexpr uint32_t kChunk = 256 * 1024;
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return false;
    const std::unique_ptr<z_stream, int (*)(z_streamp)> end(&stream, inflateEnd);
    uint32_t capacity = expected.value_or(1024 * 1024);
    if (!block.Allocate(capacity))
        return false;
    stream.next_out = block.Data();
    stream.avail_out = capacity;
    std::vector<uint8_t> chunk;
    uint32_t fed = 0;
    Bytef spare;  // catches output beyond the expected size
    while (true) {
        if (stream.avail_in == 0 && fed < inputSize) {
            if (const uint8_t* memory = source.Memory()) {
                stream.next_in = const_cast<Bytef*>(memory + offset + fed);
                stream.avail_in = inputSize - fed;
            } else {
                chunk.resize(kChunk);
                stream.avail_in = std::min(kChunk, inputSize - fed);
                stream.next_in = chunk.data();
                if (!source.Read(offset + fed, chunk.data(), stream.avail_in))
                    return false;
            }
            fed += stream.avail_in;
        }
        if (stream.avail_out == 0) {
            if (expected) {
                if (stream.total_out > *expected)
                    return false;
                stream.next_out = &spare;
                stream.avail_out = 1;
            } else {
                if (capacity > kMaxGrownSize / 2 || !block.Resize(capacity * 2))
                    return false;
                capacity *= 2;
                stream.next_out = block.Data() + stream.total_out;
                stream.avail_out = capacity - stream.total_out;
            }
        }
        const int result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_STREAM_END)
            break;
        if (result != Z_OK)
            return false;  // corrupt, or the input ran out
    }
    return expected ? stream.total_out == *expected : block.Resize(stream.total_out);
}

}  // namespace

bool IsZipHeader(const uint8_t* data, size_t size) {
    return size >= 4 && (U32(data) == kLocalSignature || U32(data) == kEndSignature);
}

bool ZipFind(const Source& source, const Query& query, fileInfo* info) {
    const uint32_t size = source.Size();
    if (size < kEndSize)
        return false;
    const uint32_t tailSize = std::min(size, kEndSize + kMaxComment);
    const uint32_t tailStart = size - tailSize;
    std::vector<uint8_t> tail(tailSize);
    if (!source.Read(tailStart, tail.data(), tailSize))
        return false;
    // The last end record whose comment fits in the archive.
    uint32_t at = tailSize - kEndSize;
    while (U32(&tail[at]) != kEndSignature || U16(&tail[at + 20]) > tailSize - kEndSize - at) {
        if (at-- == 0)
            return false;
    }
    const uint32_t endOffset = tailStart + at;
    const uint32_t directorySize = U32(&tail[at + 12]);
    const uint32_t directoryOffset = U32(&tail[at + 16]);
    if (directorySize > endOffset || directoryOffset > endOffset - directorySize)
        return false;
    std::vector<uint8_t> directory(directorySize);
    const auto readDirectory = [&](uint32_t shift) {
        return source.Read(directoryOffset + shift, directory.data(), directorySize) &&
               (directorySize < 4 || U32(directory.data()) == kCentralSignature);
    };
    // Bytes put in front of an archive without adjusting its offsets (self-extractors) shift everything;
    // ZIP64 end records between directory and end record do not.
    uint32_t shift = 0;
    if (!readDirectory(shift)) {
        shift = endOffset - directorySize - directoryOffset;
        if (shift == 0 || !readDirectory(shift))
            return false;
    }
    Finding finding;
    for (uint32_t p = 0; directorySize - p >= kCentralSize;) {
        const uint8_t* entry = &directory[p];
        const uint16_t nameSize = U16(entry + 28);
        const uint16_t extraSize = U16(entry + 30);
        const uint32_t entrySize = kCentralSize + nameSize + extraSize + U16(entry + 32);
        if (U32(entry) != kCentralSignature || entrySize > directorySize - p)
            return finding.Give(info);
        const uint8_t* name = entry + kCentralSize;
        const uint8_t* extra = name + nameSize;
        bool exact = false;
        if (MatchMember(EntryName(name, nameSize, extra, extraSize, query.slashes), query, info, &exact)) {
            uint32_t compressedSize = U32(entry + 20);
            uint32_t size = U32(entry + 24);
            uint32_t local = U32(entry + 42);
            if (!ApplyZip64(extra, extraSize, {&size, &compressedSize, &local}) || local >= endOffset - shift)
                return finding.Give(info);
            const uint16_t method = U16(entry + 10);
            SetMethod(info, method == kStored ? "stored" : method == kDeflated ? "deflate" : "other");
            info->position = source.Origin() + shift + local;
            info->compsize = compressedSize;
            info->filesize = size;
            info->timestamp = UnixTime(U16(entry + 14), U16(entry + 12));
            info->crc = U32(entry + 16);
            if (!query.all) {
                if (finding.Take(*info, exact))
                    return true;
            } else {
                query.all->push_back(*info);
                if (query.wideNames)
                    query.wideNames->push_back(WideMemberName(EntryRaw(name, nameSize, extra, extraSize)));
            }
        }
        p += entrySize;
    }
    return query.all != nullptr || finding.Give(info);
}

namespace {

// A member's local header, as far as extracting it needs.
struct LocalEntry {
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t compressedSize = 0;
    uint32_t size = 0;
    uint32_t dataOffset = 0;
    std::string name;
    std::wstring wideName;
};

bool ReadLocal(const Source& source, LocalEntry& entry) {
    uint8_t header[kLocalSize];
    if (source.Size() < kLocalSize || !source.Read(0, header, kLocalSize) || U32(header) != kLocalSignature)
        return false;
    entry.flags = U16(header + 6);
    entry.method = U16(header + 8);
    entry.compressedSize = U32(header + 18);
    entry.size = U32(header + 22);
    const uint16_t nameSize = U16(header + 26);
    const uint16_t extraSize = U16(header + 28);
    entry.dataOffset = kLocalSize + nameSize + extraSize;
    std::vector<uint8_t> nameAndExtra(nameSize + extraSize);
    if ((entry.flags & kEncrypted) || entry.dataOffset > source.Size() ||
        !source.Read(kLocalSize, nameAndExtra.data(), nameSize + extraSize))
        return false;
    const uint8_t* extra = nameAndExtra.data() + nameSize;
    entry.name = EntryName(nameAndExtra.data(), nameSize, extra, extraSize);
    entry.wideName = WideMemberName(EntryRaw(nameAndExtra.data(), nameSize, extra, extraSize));
    return ApplyZip64(extra, extraSize, {&entry.size, &entry.compressedSize});
}

// Stored data, copied through a small buffer so that members of any size fit.
bool CopyStored(const Source& source, const LocalEntry& entry, HANDLE file, const Progress& progress) {
    constexpr uint32_t kChunk = 1 << 20;
    std::vector<uint8_t> chunk(kChunk);
    for (uint32_t done = 0; done < entry.size;) {
        const uint32_t count = std::min(kChunk, entry.size - done);
        DWORD written = 0;
        if (!source.Read(entry.dataOffset + done, chunk.data(), count) ||
            !::WriteFile(file, chunk.data(), count, &written, nullptr) || written != count)
            return false;
        done += count;
        if (!progress.Tell(done, entry.size))
            return false;
    }
    return true;
}

}  // namespace

bool ZipExtract(const Source& source, OutputBlock& block, const Progress& progress) {
    LocalEntry entry;
    if (!ReadLocal(source, entry))
        return false;
    const uint32_t available = source.Size() - entry.dataOffset;
    // Sizes that follow the data are zero here; a deflate stream tells its own end.
    const bool sizesFollow = (entry.flags & kSizesFollowData) != 0;
    if (entry.method == kDeflated && sizesFollow && entry.compressedSize == 0) {
        return Inflate(source, entry.dataOffset, available,
                       entry.size ? std::optional<uint32_t>(entry.size) : std::nullopt, block);
    }
    if (entry.compressedSize > available || (sizesFollow && entry.compressedSize == 0 && entry.size == 0))
        return false;
    if (entry.method == kStored)
        return entry.compressedSize == entry.size && block.Allocate(entry.size) &&
               source.ReadTelling(entry.dataOffset, block.Data(), entry.size, progress);
    if (entry.method == kDeflated)
        return Inflate(source, entry.dataOffset, entry.compressedSize, entry.size, block);
    return false;
}

namespace {

HANDLE CreateOutput(const std::string& path) {
    return ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}
HANDLE CreateOutput(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}
void DeleteOutput(const std::string& path) {
    ::DeleteFileA(path.c_str());
}
void DeleteOutput(const std::wstring& path) {
    ::DeleteFileW(path.c_str());
}
// The member's file name, without its folder.
std::string FileNameOf(const LocalEntry& entry, const std::string&) {
    const size_t separator = FindLastSeparator(entry.name, "\\", TTextForm::kAnsi);
    return separator == std::string::npos ? entry.name : entry.name.substr(separator + 1);
}
std::wstring FileNameOf(const LocalEntry& entry, const std::wstring&) {
    return entry.wideName.substr(entry.wideName.find_last_of(L'\\') + 1);
}

const std::string& StoredNameOf(const LocalEntry& entry, const std::string&) {
    return entry.name;
}
const std::wstring& StoredNameOf(const LocalEntry& entry, const std::wstring&) {
    return entry.wideName;
}
void MakeFolder(const std::string& path) {
    ::CreateDirectoryA(path.c_str(), nullptr);
}
void MakeFolder(const std::wstring& path) {
    ::CreateDirectoryW(path.c_str(), nullptr);
}

// Wherever the stored name points, as a plug-in that trusts it writes: ".." and roots included.
template <typename Text>
Text WholeNameIn(const Text& folder, const Text& stored) {
    Text path = folder;
    path += '\\';
    for (size_t at = 0; at < stored.size(); ++at) {
        if (stored[at] == '\\' || stored[at] == '/')
            MakeFolder(path);
        // A code page 932 trail byte may be a backslash.
        if (sizeof stored[at] == 1 && ::IsDBCSLeadByte(static_cast<BYTE>(stored[at])) && at + 1 < stored.size())
            path += stored[at++];
        path += stored[at];
    }
    return path;
}

template <typename Text>
bool ExtractToFolder(const Source& source, const Text& folder, const Progress& progress, bool wholeName) {
    LocalEntry entry;
    if (!ReadLocal(source, entry))
        return false;
    Text path = folder;
    path += '\\';
    path += FileNameOf(entry, folder);
    if (wholeName)
        path = WholeNameIn(folder, StoredNameOf(entry, folder));
    UniqueHandle file(CreateOutput(path));
    if (!file)
        return false;
    bool written = false;
    // Stored members stream; deflated ones go through memory, which small samples can afford.
    if (entry.method == kStored && entry.compressedSize == entry.size &&
        entry.size <= source.Size() - entry.dataOffset) {
        written = CopyStored(source, entry, file.Get(), progress);
    } else {
        OutputBlock block;
        DWORD count = 0;
        written = ZipExtract(source, block, progress) &&
                  ::WriteFile(file.Get(), block.Data(), block.Size(), &count, nullptr) && count == block.Size();
    }
    file.Reset();
    if (!written)
        DeleteOutput(path);
    return written;
}

}  // namespace

bool ZipExtractToFolder(const Source& source, const std::string& folder, const Progress& progress, bool wholeName) {
    return ExtractToFolder(source, folder, progress, wholeName);
}

bool ZipExtractToFolder(const Source& source, const std::wstring& folder, const Progress& progress, bool wholeName) {
    return ExtractToFolder(source, folder, progress, wholeName);
}

}  // namespace kvspi
