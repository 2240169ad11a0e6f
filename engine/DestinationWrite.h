// Writing the destination file. Every writer goes through a temporary file beside the destination
// and renames it over at the end, so the destination is either complete or keeps what it held, also
// across a power cut.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class TLevelProgress;

// True on success; otherwise carries the Win32 error.
struct TWin32Result {
    DWORD Error = ERROR_SUCCESS;
    bool Reading = false;  // the error came from reading the source, not from writing
    explicit operator bool() const { return Error == ERROR_SUCCESS; }
};

TWin32Result WriteBlockToFile(const std::string& destPath, const void* data, uint32_t size);
// Copies the file at sourcePath whole, as it is while the caller holds it open as source, sharing
// reading only, so that nobody changes it meanwhile. progress, when given, is told how far the copy
// has come, and a cancel stops it (ERROR_REQUEST_ABORTED).
TWin32Result CopyToFile(const std::string& destPath, const std::string& sourcePath, HANDLE source,
                        TLevelProgress* progress = nullptr);
// Moves a finished file (on the destination's volume) over the destination once its bytes are on
// the disk. An existing destination keeps its attributes, and where the volume allows, its
// security and streams.
TWin32Result MoveToFile(const std::string& destPath, const std::string& finished);
