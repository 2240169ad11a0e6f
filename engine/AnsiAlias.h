// Plug-ins with ANSI entry points only open files by ANSI names. A file or folder on disk whose name
// the code page lacks is handed to them under another name for the same bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/Temporary.h"

// path in the ANSI code page: the name itself when it converts exactly, else its short name when
// Windows keeps one that does; false when neither does.
bool AnsiNameOf(const std::string& path, std::string& ansi);

// The ANSI name of one file, found or made once: AnsiNameOf, else a hard link (or a copy) under an
// ASCII name in the temporary folder, which goes with this object.
class TAnsiAlias {
public:
    // Empty when no name could be made; error says why.
    const std::string& Of(const std::string& file, DWORD& error);
    // A link moves the file's change time, once: its value then, 0 when no link was made. So a file
    // kept for the next job is known as the same one.
    int64_t ChangeTimeAfterLink() const { return LinkedChange; }

private:
    int64_t LinkedChange = 0;
    bool Asked = false;
    std::string File;
    std::string Ansi;
    DWORD Error = ERROR_SUCCESS;
    std::optional<TTemporaryCopy> Link;
};
