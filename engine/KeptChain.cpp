#include "engine/KeptChain.h"

#include "base/PathText.h"
#include "base/Owned.h"
#include "engine/Archive.h"
#include "engine/OpenForReading.h"

bool TFileIdentity::operator==(const TFileIdentity& other) const {
    return Volume == other.Volume && Index == other.Index && Size == other.Size &&
           ::CompareFileTime(&LastWrite, &other.LastWrite) == 0 && Change == other.Change;
}

bool TFileIdentity::Read(const std::string& path, TFileIdentity& identity) {
    // Closed again at once: plug-ins open archives with no sharing.
    UniqueHandle file(OpenForReading(path));
    BY_HANDLE_FILE_INFORMATION information;
    FILE_BASIC_INFO basic;
    if (!file || !::GetFileInformationByHandle(file.Get(), &information) ||
        !::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic))
        return false;
    identity.Volume = information.dwVolumeSerialNumber;
    identity.Index = (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    identity.Size = (uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
    identity.LastWrite = information.ftLastWriteTime;
    identity.Change = basic.ChangeTime.QuadPart;
    return true;
}

TKeptChain::TKeptChain(uint64_t budget) : Budget(budget) {}

TKeptChain::~TKeptChain() {
    Release();
}

void TKeptChain::Release() noexcept {
    Cut(0);
}

void TKeptChain::Cut(size_t index) noexcept {
    while (Levels.size() > index) {
        Bytes -= Levels.back().Bytes;
        Levels.pop_back();
    }
}

const std::string& TKeptChain::Name(size_t index) const {
    const TLevel& level = Levels[index];
    return level.Archive ? level.Archive->GetName() : level.HandedOnName;
}

bool TKeptChain::TakenOutFor(size_t index, const std::string& component) const {
    return Levels[index].Component == WithSeparator(component, '\\');
}

bool TKeptChain::Serves(const std::string& sourcePath, bool itself) {
    if (Levels.empty())
        return false;
    // The file the job names, which a name differing in case only may not be: folders can be case
    // sensitive (under Wine every Linux folder is).
    const TArchive& outer = *Levels.front().Archive;
    const std::string& kept = outer.GetName();
    TFileIdentity now;
    const bool named = GoesInside(sourcePath, kept) || (itself && FoldedName(sourcePath) == FoldedName(kept));
    if (Entered || !named || !TFileIdentity::Read(sourcePath.substr(0, kept.size()), now)) {
        Release();
        return false;
    }
    // The link that gives an ANSI plug-in a name for the file moved its change time, and nothing else did
    // since: the file is the same.
    TFileIdentity linked = Outer;
    linked.Change = outer.AliasChangeTime();
    if (!(now == Outer) && !(linked.Change != 0 && now == linked)) {
        Release();
        return false;
    }
    return true;
}

void TKeptChain::Start(std::unique_ptr<TArchive>& archive, const TFileIdentity& identity) {
    Release();
    Outer = identity;
    Entered = 0;
    Levels.push_back({std::move(archive), 0, {}, 0, {}});
}

void TKeptChain::Keep(std::unique_ptr<TArchive>& level, uint64_t bytes, const std::string& component) {
    if (Levels.empty() || bytes > Budget - Bytes)
        return;
    Bytes += bytes;
    Levels.push_back({std::move(level), bytes, {}, 0, WithSeparator(component, '\\')});
}

void TKeptChain::KeepHandedOn(std::string name, uint64_t serial, const std::string& component) {
    if (!Levels.empty())
        Levels.push_back({nullptr, 0, std::move(name), serial, WithSeparator(component, '\\')});
}

void TKeptChain::Enter(std::unique_ptr<TArchive>& level, uint64_t serial, uint64_t bytes) {
    Release();
    if (bytes > Budget)
        return;
    Entered = serial;
    Bytes = bytes;
    Levels.push_back({std::move(level), bytes, {}, 0, {}});
}

void TKeptChain::Detach() noexcept {
    for (TLevel& level : Levels)
        if (level.Archive)
            level.Archive->SetProgress(nullptr);
}
