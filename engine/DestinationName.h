// The name a job's destination file gets. It comes from the last component of a path that an
// archive, a drop or a hand-off named, so it is untrusted: it never decides where outside the chosen
// folder the file goes.
#pragma once

#include <string>
#include <string_view>

// Paths are UTF-8. The last component of a path (after its last ':', '\' or '/'), cut on a character
// boundary where its form in the ANSI code page would pass 255 bytes (a character the code page
// lacks counting two).
std::string FileNamePart(const std::string& path);
// folder, a '\' only when the folder is longer than 3 bytes ("F:\" has its own), and the name part.
std::string DestinationFor(const std::string& folder, const std::string& path);

// Whether Windows makes a file of exactly this name: not empty, "." or "..", no character it refuses
// in names, no dot or space at the end (it would drop them), and no device (CON, NUL, COM1...,
// with or without an extension).
bool IsFileName(std::string_view name);
// Whether destPath names a file by such a name directly inside the folder before its last '\' (or
// a drive's "D:"), as Windows resolves both.
bool LiesDirectlyInFolder(const std::string& destPath);
// The full path Windows makes of path (UTF-8), resolving "." and ".." and "/"; empty when it makes none.
std::string FullPath(const std::string& path);
