#include "engine/AnsiAlias.h"

#include <windows.h>

#include "base/SystemPath.h"
#include "base/WideText.h"
#include "engine/KeptChain.h"

bool AnsiNameOf(const std::string& path, std::string& ansi) {
    if (AnsiFromUtf8(path, ansi))
        return true;
    const std::wstring wide = SystemPath(path);
    const DWORD length = ::GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (length == 0)
        return false;
    std::wstring shortName(length, L'\0');
    const DWORD written = ::GetShortPathNameW(wide.c_str(), shortName.data(), length);
    if (written == 0 || written >= length)
        return false;
    shortName.resize(written);
    // The \\?\ form of a long path is no name a plug-in opens.
    return !shortName.starts_with(L"\\\\?\\") && written < MAX_PATH && ExactAnsi(shortName, ansi);
}

const std::string& TAnsiAlias::Of(const std::string& file, DWORD& error) {
    if (!Asked || file != File) {
        Asked = true;
        File = file;
        Ansi.clear();
        Error = ERROR_SUCCESS;
        Link.reset();
        LinkedChange = 0;
        if (!AnsiNameOf(file, Ansi)) {
            Error = Link.emplace().Link(file);
            if (Error == ERROR_SUCCESS && !AnsiFromUtf8(Link->Path(), Ansi))
                Error = ERROR_INVALID_NAME;
            TFileIdentity linked;
            if (Error == ERROR_SUCCESS && Link->IsLink() && TFileIdentity::Read(file, linked))
                LinkedChange = linked.Change;
        }
    }
    error = Error;
    return Ansi;
}
