// The destination folder and the rule that names a job's destination file.
#pragma once

#include <windows.h>

#include <string>

// The last component of a path (after its last ':' or '\'), cut to 255 bytes on a character
// boundary.
std::string FileNamePart(const std::string& path);
// folder, a '\' only when the folder is longer than 3 bytes ("F:\" has its own), and the name part.
std::string DestinationFor(const std::string& folder, const std::string& path);
// Sets the folder, retargets every waiting job and shows the folder in the title; false (and
// nothing changed) for an empty folder.
bool SetDestinationFolder(HWND window, const std::string& folder);
