#include "engine/PluginList.h"

#include <algorithm>
#include <cwchar>
#include <stdexcept>

#include "base/PathText.h"
#include "base/ProcAddress.h"
#include "base/SystemPath.h"
#include "base/Registry.h"
#include "base/WideText.h"
#include "engine/Archive.h"
#include "engine/PluginActivity.h"
#include "engine/SusieSettings.h"

namespace {

constexpr char kArchivePluginType[] = "00AM";
// A process loads only plug-ins of its own width: 32-bit ones are *.spi, x86-64 ones *.sph.
constexpr const char* kPluginPattern = sizeof(void*) == 8 ? "\\*.sph" : "\\*.spi";
constexpr int kTypeBufferLength = 5;
constexpr int kTextBufferLength = 256;
// A plug-in that never answers 0 must not hang the load.
constexpr int kMaxFileTypeTexts = 100;

// GetPluginInfo's texts; a plug-in with only GetPluginInfoW gives them through that.
class TPluginTexts {
public:
    explicit TPluginTexts(HMODULE module)
        : Ansi(ProcAddress<GetPluginInfoFunc>(module, "GetPluginInfo")),
          Wide(Ansi ? nullptr : ProcAddress<GetPluginInfoWFunc>(module, "GetPluginInfoW")) {}

    bool Exists() const { return Ansi || Wide; }
    // False when the plug-in has no text of that number.
    bool Text(int infoNumber, int bufferLength, std::string& text) const {
        if (Ansi) {
            std::string buffer(bufferLength + 1, '\0');
            if (Ansi(infoNumber, buffer.data(), bufferLength) == 0)
                return false;
            // In UTF-8 as every text inside; one that is no valid text is left empty rather than shown wrong.
            if (!Utf8FromAnsi(FieldText(buffer.data(), bufferLength), text))
                text.clear();
            return true;
        }
        std::wstring buffer(bufferLength + 1, L'\0');
        if (Wide(infoNumber, buffer.data(), bufferLength) == 0)
            return false;
        buffer.resize(::wcsnlen(buffer.data(), bufferLength));
        if (!ExactUtf8(buffer, text))
            text.clear();
        return true;
    }

private:
    GetPluginInfoFunc Ansi;
    GetPluginInfoWFunc Wide;
};

std::string FileTypeTexts(const TPluginTexts& texts) {
    std::string joined;
    std::string text;
    for (int n = 0; n < kMaxFileTypeTexts && texts.Text(2 + 2 * n, kTextBufferLength, text); ++n) {
        if (n > 0)
            joined += ';';
        joined += text;
    }
    return joined;
}

bool DeclaresArchiveType(const TPluginTexts& texts) {
    std::string type;
    return texts.Text(0, kTypeBufferLength, type) && type == kArchivePluginType;
}

bool IsSwitchedOn(HKEY activateKey, const std::string& fileName) {
    return QueryDword(activateKey, fileName.c_str()).value_or(1) != 0;
}

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

std::unique_ptr<TPluginInfo> TPluginList::TakeIn(const std::string& fileName, HKEY activateKey) const {
    if (!IsSwitchedOn(activateKey, fileName) || Names(Skipped_, fileName))
        return nullptr;
    // Loading runs the plug-in's own start-up code.
    const TPluginCall call(fileName);
    UniqueModule module(::LoadLibraryW(SystemPath(Folder_ + "\\" + fileName).c_str()));
    if (!module)
        return nullptr;
    // Each entry point is looked up by itself: some plug-ins have the wide ones without GetPluginInfoW.
    const TPluginTexts texts(module.Get());
    auto isSupported = ProcAddress<IsSupportedFunc>(module.Get(), "IsSupported");
    auto isSupportedW = ProcAddress<IsSupportedWFunc>(module.Get(), "IsSupportedW");
    if (!texts.Exists() || !DeclaresArchiveType(texts) || (!isSupported && !isSupportedW))
        return nullptr;

    auto info = std::make_unique<TPluginInfo>();
    info->FileName = fileName;
    info->IsSupportedProc = isSupported;
    info->IsSupportedWProc = isSupportedW;
    info->Active = true;
    if (Names(GivenCopies_, fileName))
        info->MemoryInput = TMemoryInput::kGivenCopies;
    info->Extensions = FileTypeTexts(texts);
    info->Module = std::move(module);
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
    UniqueKey activateKey = OpenKey(HKEY_CURRENT_USER, kSusieActivateKey, KEY_QUERY_VALUE);
    int count = 0;
    do {
        std::string fileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !ExactUtf8(found.cFileName, fileName))
            continue;
        if (auto info = TakeIn(fileName, activateKey.Get())) {
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

bool ReadSusiePluginFolder(std::string& folder) {
    // "Path" holds at most 260 bytes with its terminator.
    constexpr DWORD kMaxPathValueBytes = MAX_PATH;
    folder.clear();
    UniqueKey key = OpenKey(HKEY_CURRENT_USER, kSusiePluginKey, KEY_QUERY_VALUE);
    auto path = QueryString(key.Get(), kSusiePathValue, kMaxPathValueBytes);
    // An empty value would name the drive's root, which is never scanned.
    if (!path || path->empty())
        return false;
    folder = *path + "\\";
    return true;
}

void ReloadPlugins(TPluginList& list) {
    std::string folder;
    ReadSusiePluginFolder(folder);
    list.SetFolder(folder);
    list.Load();
}

std::string PluginFileNames(std::string folder, const char* pattern, int limit) {
    std::string names;
    WIN32_FIND_DATAW found;
    UniqueFind search(!folder.empty() || ReadSusiePluginFolder(folder)
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
