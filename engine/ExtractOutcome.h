// Why an extraction failed: what went wrong, where in the path, and which plug-in was involved.
#pragma once

#include <windows.h>

#include <string>

enum class TFailureKind {
    kNone,
    kNotFound,          // no such file, or no such member in its archive
    kNoPlugin,          // no plug-in accepts the archive
    kPluginIncomplete,  // the accepting plug-in lacks GetFileInfo or GetFile
    kPluginError,       // the plug-in returned an error code
    kShortBlock,        // the plug-in delivered less than it announced
    kCannotRead,        // a file could not be read (Win32 error)
    kCannotWrite,       // the destination or a temporary file could not be written (Win32 error)
    kInternal,          // the engine itself failed, e.g. out of memory
    kPluginCrashed,     // the process died inside the plug-in
    kPluginHung,        // the plug-in's loading made no progress for the host start's bound
    kHostEnded,         // the plug-in host ended, inside no plug-in
    kPathTooLong,       // the path is longer than any job's may be (kMaxJobPath)
    kDiskPathTooLong,   // a path on disk is longer than Windows takes
    kNotKept,           // a level handed on without its bytes is no longer kept where it went
    kTooLarge,          // a member of 4 GiB or more, to be taken out into memory
    kNotInCodePage,     // a name that only a lossy conversion brings into the ANSI code page
    kAmbiguousName,     // a name a plug-in lists only lossily, where more than one member could be it
    kUnusableName,      // the destination's name makes no file directly in its folder
    kClimbingMember,    // a member a plug-in writes only to disk, under a stored name that leaves the folder
    kNoListing,         // the level's plug-in gives no listing of its members
    kCanceled,          // ended by the user (cancel-all, exit); stays last, messages check against it
};

// What one operation of an archive level knows about its own failure.
struct TFailure {
    TFailureKind Kind = TFailureKind::kNone;
    std::string Plugin;  // file name of the plug-in involved, if one was
    int PluginCode = 0;
    DWORD Win32Error = 0;
    // The file that could not be read or written, or the folder whose name the code page lacks, when
    // that was the trouble; for kNoPlugin, the plug-ins' folder when no plug-in was loaded at all.
    std::string File;
    std::string Skipped;  // for kNoPlugin: plug-ins not asked, since they crashed before
    std::string Unusable;  // for kNoPlugin: 64-bit plug-ins, where Windows runs no 64-bit programs
};

struct TExtractOutcome {
    TFailure Failure;
    // The part of the path that failed, relative to Container; the destination for write failures.
    std::string Component;
    // The full (virtual) path of the archive Component lies in; empty for the file system itself.
    std::string Container;

    bool Succeeded() const { return Failure.Kind == TFailureKind::kNone; }
    // One line for people, in UTF-8: the place, then the reason.
    std::string Describe() const;
    // The reason alone.
    std::string Reason() const;
};

// The name of a Susie result code, e.g. 6 -> "ファイル読み込みエラー"; null for unknown codes.
const char* SusieCodeName(int code);
// The system's text for a Win32 error, on one line, in UTF-8.
std::string Win32Message(DWORD error);
