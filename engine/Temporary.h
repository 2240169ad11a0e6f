// The engine's temporary files and folders. Every name starts "~kv<process id>-<token>-": the process
// id and a random token together tell this process's names from anybody else's, also another
// machine's in a shared folder, so that what it left behind when it died can be found and removed by
// another, and nothing else.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/Owned.h"

// The folder that holds a destination path, usable as a folder name ("" -> ".", "D:" -> "D:\").
std::string FolderOf(const std::string& path);

// A new file "folder\~kvPID-N" + suffix, created exclusively (never an existing one); Path is empty
// and error set when none could be made.
struct TNewFile {
    UniqueHandle Handle;
    std::string Path;
};
TNewFile CreateUniqueFile(const std::string& folder, const std::string& suffix, DWORD attributes, DWORD& error);

// The user's temporary folder, with its trailing backslash, under a name ANSI plug-ins can open.
std::string UserTemporaryFolder();

// "%ProgramData%\Kelvane\<the user's SID>\", ASCII all through, made for the user alone: where copies
// for ANSI plug-ins go when the user's temporary folder has no name they can open. Empty when it
// cannot be had, or someone else made it first.
std::string OwnTemporaryFolder();
// Where OwnTemporaryFolder is, made or not, without its trailing backslash; empty when it has no name.
std::string OwnTemporaryFolderPath();

// The folder itself, never what a link there points to, held so that it can be neither renamed nor
// removed meanwhile: empty when it is no plain folder (a junction, a mount point, a file, missing)
// or, with ownedByUser, when someone else owns it.
UniqueHandle HoldPlainFolder(const std::string& folder, bool ownedByUser);

// Eight random hex digits.
std::string NewTemporaryToken();
bool IsTemporaryToken(const std::string& text);
// Whether name is one of the names the process of that id and token makes.
bool IsTemporaryName(const std::string& name, DWORD& processId, std::string& token);
// This process's token: random, unless set (before the first name is made) by whoever must find
// its names again.
const std::string& TemporaryToken();
void SetTemporaryToken(const std::string& token);

// Removes the files and folders (with their contents) that the process of that id and token left
// in folder. True when none is left: the folder holds none, or is gone for good. False also while
// the folder does not answer.
bool RemoveTemporariesOf(const std::string& folder, DWORD processId, const std::string& token);

// A copy of bytes in the user's temporary folder, for a plug-in that reads only files, or that reads
// only ANSI names; removed when the
// owner goes. No handle of ours stays open on it: many plug-ins open their archive with no sharing.
// Nor does it need another guard: that folder admits only the user and the administrators, who could
// as well change the archive on disk, which plug-ins read through its name too.
class TTemporaryCopy {
public:
    TTemporaryCopy() = default;
    TTemporaryCopy(const TTemporaryCopy&) = delete;
    TTemporaryCopy& operator=(const TTemporaryCopy&) = delete;
    ~TTemporaryCopy();

    // Name keeps the extension of `likeName`: some plug-ins look at it. Returns the Win32 error.
    DWORD Create(const void* data, uint32_t size, const std::string& likeName);
    // The same bytes as file, under an ASCII name of ours with its extension: a hard link, or a copy
    // (of a read-only file always). Nothing of the file changes but its change time, which a link moves.
    DWORD Link(const std::string& file);
    const std::string& Path() const { return Path_; }
    // Whether Link made a link, not a copy.
    bool IsLink() const { return Linked; }
    explicit operator bool() const { return !Path_.empty(); }

private:
    std::string Path_;
    bool Linked = false;
};

// The file a process hands levels on in, for another process to map: a temporary file that goes with
// its last handle, view or section, in whichever process, rewritten for each level. Written with
// WriteFile: under Wine a page-file section is a file on disk that fills page fault by page fault,
// many times slower; on Windows a temporary file stays in the cache. Kept from one level to the
// next, since rewriting its pages costs half what a new file does, and dropping one costs as much
// again (under Wine, 35 ms for 64 MiB).
class TLevelFile {
public:
    TLevelFile() = default;
    TLevelFile(const TLevelFile&) = delete;
    TLevelFile& operator=(const TLevelFile&) = delete;

    // Writes the level and returns a read-only section of at least minSize bytes that holds it, zeros
    // after a short level; null, with the Win32 error, when it could not. The section is this
    // object's, and valid until the next Write or Release: whoever maps it must be done by then.
    HANDLE Write(const void* data, uint32_t size, uint32_t minSize, DWORD& error);
    void Release() noexcept;
    // Names the bytes the file holds now, anew at each Write and apart from any other process's; 0 for
    // none. Whoever maps a section may keep its view while the serial stays.
    uint64_t Serial() const { return BytesSerial; }

private:
    bool WriteAll(const void* data, uint32_t size);

    UniqueHandle File;
    UniqueHandle Section;
    uint64_t SectionBytes = 0;
    uint64_t BytesSerial = 0;
};

// An empty folder beside a destination, for a plug-in's disk output; removed with its contents.
class TTemporaryFolder {
public:
    TTemporaryFolder() = default;
    TTemporaryFolder(const TTemporaryFolder&) = delete;
    TTemporaryFolder& operator=(const TTemporaryFolder&) = delete;
    ~TTemporaryFolder();

    DWORD Create(const std::string& parent);
    const std::string& Path() const { return Path_; }

private:
    std::string Path_;
};
