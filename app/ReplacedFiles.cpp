#include "app/ReplacedFiles.h"

#include <windows.h>

#include <string>

#include "app/Identifiers.h"
#include "base/ModulePath.h"
#include "base/SystemPath.h"
#include "base/WideText.h"
#include "engine/Temporary.h"

void RemoveReplacedFiles() {
    const std::string program = ProgramFolder();
    if (program.empty())
        return;
    const std::string folder = program + FOLDER_REPLACED;
    UniqueHandle held = HoldPlainFolder(folder, true);
    if (!held)
        return;
    WIN32_FIND_DATAW found;
    {
        UniqueFind search(::FindFirstFileW(SystemPath(folder + "\\*").c_str(), &found));
        if (!search)
            return;
        do {
            std::string name;
            if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
                ExactUtf8(found.cFileName, name))
                ::DeleteFileW(SystemPath(folder + "\\" + name).c_str());
        } while (::FindNextFileW(search.Get(), &found));
    }
    held.Reset();
    ::RemoveDirectoryW(SystemPath(folder).c_str());
}
