// A member as a level found it: where its plug-in keeps it, and its name as names travel inside,
// whole, whichever family of entry points the plug-in answered through.
#pragma once

#include <string>

#include "engine/SpiTypes.h"

struct TMember {
    // The plug-in's answer. From the ANSI family with its names in the plug-in's own bytes, which
    // are what it recognises again; from the wide family its numbers only.
    fileInfo Record{};
    std::string Folder;  // UTF-8, separators as the plug-in gave them ("docs\" or "docs/")
    std::string FileName;

    std::string Name() const { return Folder + FileName; }
};

// Names that are no valid text of the code page (or lone surrogates) are carried with replacement
// characters: shown, and compared, never asked with.
TMember MemberOf(const fileInfo& record);
TMember MemberOf(const fileInfoW& record);
