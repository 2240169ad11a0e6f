#include "engine/PluginList.h"

#include <algorithm>
#include <stdexcept>

#include "base/PathText.h"
#include "base/ProcAddress.h"
#include "base/SystemPath.h"
#include "base/Registry.h"
#include "base/WideText.h"
#include "engine/Archive.h"
#include "engine/PluginActivity.h"
#include "engine/PluginFile.h"

namespace {

// A process loads only plug-ins of its own width: 32-bit ones are *.spi, x86-64 ones *.sph.
constexpr const char* kPluginPattern = sizeof(void*) == 8 ? "\\*.sph" : "\\*.spi";

}  // namespace

TPluginList::~TPluginList() {
    Clear();
}

void TPluginList::SetFolder(std::string folder) {
    Folder_ = std::move(folder);
    Clear();
}

void TPluginList::Clear() {
    // Unloaded from the last to the first, each exactly once.
    while (!Items_.empty())
        Items_.pop_back();
    Loaded_ = false;
}

std::unique_ptr<TPluginInfo> TPluginList::TakeIn(const std::string& fileName, const TPluginSwitches& switches) const {
    if (switches.Of(fileName) != TSwitch::kOn || Names(Skipped_, fileName))
        return nullptr;
    // Loading runs the plug-in's own start-up code.
    const TPluginCall call(fileName);
    TPluginFile file(Folder_ + "\\" + fileName, TPluginTexts::kForJobs);
    if (file.Facts().Kind != TPluginKind::kArchive)
        return nullptr;
    auto info = std::make_unique<TPluginInfo>();
    info->FileName = fileName;
    info->IsSupportedProc = ProcAddress<IsSupportedFunc>(file.Module(), "IsSupported");
    info->IsSupportedWProc = ProcAddress<IsSupportedWFunc>(file.Module(), "IsSupportedW");
    info->Active = true;
    if (Names(GivenCopies_, fileName))
        info->MemoryInput = TMemoryInput::kGivenCopies;
    info->Extensions = JoinedPatterns(file.Facts().Formats);
    info->Module = file.TakeModule();
    return info;
}

int TPluginList::Load() {
    Clear();
    // Without a folder there is nothing to scan; never fall back to the drive's root.
    if (Folder_.empty())
        return 0;
    WIN32_FIND_DATAW found;
    UniqueFind search(::FindFirstFileW(SystemPath(Folder_ + kPluginPattern).c_str(), &found));
    if (!search)
        return 0;
    const TPluginSwitches switches(Folder_);
    int count = 0;
    do {
        std::string fileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !ExactUtf8(found.cFileName, fileName))
            continue;
        if (auto info = TakeIn(fileName, switches)) {
            Items_.push_back(std::move(info));
            ++count;
        }
    } while (::FindNextFileW(search.Get(), &found));
    Loaded_ = true;
    return count;
}

bool TPluginList::FindPlugin(TProbe probe, TArchive& archive) {
    for (auto it = Items_.begin(); it != Items_.end(); ++it) {
        const TPluginCall call((*it)->FileName);
        if ((archive.*probe)(**it)) {
            std::rotate(Items_.begin(), it, it + 1);
            return true;
        }
    }
    return false;
}

const TPluginInfo& TPluginList::Item(int index) const {
    if (index < 0 || index >= Count())
        throw std::out_of_range("plug-in index out of range");
    return *Items_[index];
}

bool TPluginList::Names(const std::vector<std::string>& fileNames, const std::string& fileName) {
    return std::any_of(fileNames.begin(), fileNames.end(),
                       [&](const std::string& skipped) { return SameName(skipped, fileName); });
}

std::string TPluginList::SkippedText() const {
    std::string text;
    for (const std::string& name : Skipped_)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::vector<std::string> TPluginList::GivenCopies() const {
    std::vector<std::string> names;
    for (const auto& item : Items_)
        if (item->MemoryInput == TMemoryInput::kGivenCopies)
            names.push_back(item->FileName);
    return names;
}

TPluginInfo* TPluginList::InfoOf(HMODULE module) const {
    for (const auto& item : Items_)
        if (item->Module.Get() == module)
            return item.get();
    return nullptr;
}

HMODULE TPluginList::GetModule(int index) const {
    return Item(index).Module.Get();
}

IsSupportedFunc TPluginList::GetIsSupported(int index) const {
    return Item(index).IsSupportedProc;
}

void ReloadPlugins(TPluginList& list) {
    list.SetFolder(FindPluginFolder().Path);
    list.Load();
}

std::string PluginFileNames(std::string folder, const char* pattern, int limit) {
    std::string names;
    WIN32_FIND_DATAW found;
    if (folder.empty())
        folder = FindPluginFolder().Path;
    UniqueFind search(!folder.empty()
                          ? ::FindFirstFileW(SystemPath(FolderWithSeparator(folder) + pattern).c_str(), &found)
                          : INVALID_HANDLE_VALUE);
    if (!search)
        return names;
    do {
        std::string fileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !ExactUtf8(found.cFileName, fileName))
            continue;
        names += (names.empty() ? "" : ", ") + fileName;
        --limit;
    } while (limit > 0 && ::FindNextFileW(search.Get(), &found));
    return names;
}
