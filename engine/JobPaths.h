// How long the paths of a job may be. Paths inside archives know no 260-byte limit, so a job's source
// is carried whole, from the drop to the plug-ins, up to a bound of our own. Only the parts on disk,
// the archive a source starts in and the destination, keep Windows' limit.
#pragma once

#include <cstddef>
#include <string>

#include "engine/ExtractOutcome.h"

// Bytes of UTF-8: 16,000 Japanese characters, dozens of times the deepest real member path, within the
// longest path Windows knows at all (32,767 characters), and small enough that a source and a
// destination at the bound still fit one message of the plug-in host's channel.
inline constexpr size_t kMaxJobPath = 48000;

// Whether path is fewer than MAX_PATH characters, however many bytes: what Windows takes without
// the \\?\ form, and plug-ins take at all.
bool FitsWindowsPath(const std::string& path);

// Whether a job's source is within the bound; when it is not, outcome says so.
bool SourceFits(const std::string& source, TExtractOutcome& outcome);
// The longest path Windows takes in the \\?\ form, less room for a temporary name beside it.
inline constexpr size_t kMaxWindowsPath = 32767 - 64;

// Whether a job's source is within the bound and its destination one Windows can write, by a usable
// name directly in its folder; when one is not, outcome says which.
bool JobPathsFit(const std::string& source, const std::string& destination, TExtractOutcome& outcome);
