// What the sample plug-ins share: bounded access to archive bytes, the block GetFile hands out,
// member names, and the tar and ZIP readers.
#pragma once

#include "base/Owned.h"
#include "engine/SpiTypes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvspi {

// GetFile's progress callback, as the plug-in got it. Members are copied in steps, each told to it; a
// non-zero answer stops the copy, and GetFile then answers 1 ("canceled").
struct Progress {
    SpiProgressCallback callback = nullptr;
    LONG_PTR data = 0;
    mutable bool stopped = false;
    // Tells done of total; false once the caller has asked to stop.
    bool Tell(uint32_t done, uint32_t total) const;
};

// An archive's bytes, from a file (its start offset to its end) or from memory. Reads never leave
// that range, so truncated or corrupt archives fail instead of reading beyond them.
class Source {
public:
    // flag & kSpiInputMask picks the input; disk: `source` names the file, `length` is the start,
    // and `share` is the sharing the file is opened with.
    bool Open(const char* source, LONG_PTR length, unsigned int flag, DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE);
    // The same for the wide entry points: disk input names the file in UTF-16.
    bool Open(const WCHAR* source, LONG_PTR length, unsigned int flag);

    uint32_t Size() const { return size_; }
    // Added to an offset gives the position a plug-in reports: file offsets for disk input.
    uint32_t Origin() const { return origin_; }
    // The whole range when it is in memory, so that it needs no copy; null for disk input.
    const uint8_t* Memory() const { return memory_; }
    bool Read(uint32_t offset, void* buffer, uint32_t count) const;
    // The same in steps of 64 KiB, each told to progress.
    bool ReadTelling(uint32_t offset, void* buffer, uint32_t count, const Progress& progress) const;

private:
    bool TakeFile(LONG_PTR length);

    UniqueHandle file_;
    const uint8_t* memory_ = nullptr;
    uint32_t origin_ = 0;
    uint32_t size_ = 0;
};

// GetFile's result, LocalAlloc(LMEM_MOVEABLE), locked while it is being filled.
class OutputBlock {
public:
    OutputBlock() = default;
    OutputBlock(const OutputBlock&) = delete;
    OutputBlock& operator=(const OutputBlock&) = delete;
    ~OutputBlock();

    // Empty members still get one byte, so that the handle is valid.
    bool Allocate(uint32_t size);
    bool Resize(uint32_t size);
    uint8_t* Data() const { return data_; }
    uint32_t Size() const { return size_; }
    // Unlocked, for the caller to own.
    HLOCAL Release();

private:
    UniqueLocal handle_;
    uint8_t* data_ = nullptr;
    uint32_t size_ = 0;
};

struct Query {
    const char* memberPath;
    bool ignoreCase;
    bool nameOnly = false;                 // compare the member's file name alone, not its folder
    bool slashes = false;                  // names keep "/" as their separator (see MemberName)
    std::vector<fileInfo>* all = nullptr;  // list every member here instead of finding one
    // ZIP only, with all: each listed member's whole name in UTF-16, with '\' separators.
    std::vector<std::wstring>* wideNames = nullptr;
};

// Turns stored name bytes into an ANSI member name with '\' separators, or with the stored '/' when
// `slashes` is set: valid non-ASCII UTF-8 is converted, other bytes are kept.
std::string MemberName(std::string_view raw, bool slashes = false);
// The same name whole, in UTF-16, with '\' separators.
std::wstring WideMemberName(std::string_view raw);
// How MemberName spells Hangul syllables from now on: 0, as the ANSI code page has them ("?"); any
// other byte, as "_" and that stray byte each, as a real plug-in with wide entry points does in its
// ANSI calls.
void SetHangulStray(char stray);
// Fills info's path and filename when `name` is the queried member and no directory; exact, when
// given, tells whether it is spelled exactly as asked.
bool MatchMember(const std::string& name, const Query& query, fileInfo* info, bool* exact = nullptr);

// The search for one member that case is ignored in: the first spelled exactly as asked wins over the
// first that differs from it in case only, as on a case-sensitive file system (archives made on Unix
// may hold both).
class Finding {
public:
    // Takes the record of a match; true once the search is over, info holding the member.
    bool Take(const fileInfo& info, bool exact);
    // At the search's end: the first match that differed in case, if any.
    bool Give(fileInfo* info) const;

private:
    std::optional<fileInfo> folded_;
};

void SetMethod(fileInfo* info, const char* method);

// Recognise the first bytes of an archive (or of a member's header for GetFile).
bool IsTarHeader(const uint8_t* data, size_t size);
bool IsZipHeader(const uint8_t* data, size_t size);

// Find: the member's record, positions counted from source.Origin(). Extract: the member whose
// header starts the source.
bool TarFind(const Source& source, const Query& query, fileInfo* info);
bool TarExtract(const Source& source, OutputBlock& block, const Progress& progress);
bool ZipFind(const Source& source, const Query& query, fileInfo* info);
// Stored members report their progress; deflated ones do not.
bool ZipExtract(const Source& source, OutputBlock& block, const Progress& progress);
// Disk output: the member whose header starts the source, written as folder\its file name.
// wholeName: under the member's folders and name as stored, the folders made, as many real plug-ins
// write disk output; else under its file name alone.
bool ZipExtractToFolder(const Source& source, const std::string& folder, const Progress& progress, bool wholeName);
// The same with names whole, for the wide entry points.
bool ZipExtractToFolder(const Source& source, const std::wstring& folder, const Progress& progress, bool wholeName);

}  // namespace kvspi
