// The destination folder and the rule that names a job's destination file.
#pragma once

#include <windows.h>

#include <string>

// Paths are UTF-8. The last component of a path (after its last ':' or '\'), cut on a character
// boundary where its form in the ANSI code page would pass 255 bytes (a character the code page
// lacks counting two).
std::string FileNamePart(const std::string& path);
// folder, a '\' only when the folder is longer than 3 bytes ("F:\" has its own), and the name part.
std::string DestinationFor(const std::string& folder, const std::string& path);
// Sets the folder, retargets every waiting job and shows the folder in the title; false (and
// nothing changed) for an empty folder.
bool SetDestinationFolder(HWND window, const std::string& folder);
