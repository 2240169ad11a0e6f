#include "base/ModulePath.h"

#include <vector>

#include "base/PathText.h"
#include "base/WideText.h"

std::string ModulePath(HMODULE module) {
    // The wide form reaches past 260 characters; 32,767 is the longest path Windows has.
    std::vector<wchar_t> path(32768);
    const DWORD length = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    // A path that filled the buffer was cut.
    std::string utf8;
    if (length == 0 || length >= path.size() || !ExactUtf8(std::wstring_view(path.data(), length), utf8))
        return {};
    return utf8;
}

std::string ProgramFolder() {
    std::string folder = ModulePath();
    if (folder.empty())
        return {};
    std::string name;
    SplitLastComponent(folder, name);
    return folder + "\\";
}
