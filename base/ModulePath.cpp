#include "base/ModulePath.h"

#include "base/PathText.h"

std::string ModulePath(HMODULE module) {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(module, path, MAX_PATH);
    // A path that filled the buffer was cut.
    if (length == 0 || length >= MAX_PATH)
        return {};
    return std::string(path, length);
}

std::string ProgramFolder() {
    std::string folder = ModulePath();
    if (folder.empty())
        return {};
    std::string name;
    SplitLastComponent(folder, name, TTextForm::kAnsi);
    return folder + "\\";
}
