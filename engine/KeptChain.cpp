#include "engine/KeptChain.h"

#include "base/AnsiPath.h"
#include "base/Owned.h"
#include "engine/Archive.h"
#include "engine/OpenForReading.h"

bool TFileIdentity::operator==(const TFileIdentity& other) const {
    return Volume == other.Volume && Index == other.Index && Size == other.Size &&
           ::CompareFileTime(&LastWrite, &other.LastWrite) == 0;
}

bool TFileIdentity::Read(const std::string& path, TFileIdentity& identity) {
    // Closed again at once: plug-ins open archives with no sharing.
    UniqueHandle file(OpenForReading(path));
    BY_HANDLE_FILE_INFORMATION information;
    if (!file || !::GetFileInformationByHandle(file.Get(), &information))
        return false;
    identity.Volume = information.dwVolumeSerialNumber;
    identity.Index = (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    identity.Size = (uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
    identity.LastWrite = information.ftLastWriteTime;
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

bool TKeptChain::Serves(const std::string& sourcePath) {
    if (Levels.empty())
        return false;
    TFileIdentity now;
    if (!GoesInside(sourcePath, Levels.front().Archive->GetName()) ||
        !TFileIdentity::Read(Levels.front().Archive->GetName(), now) || !(now == Outer)) {
        Release();
        return false;
    }
    return true;
}

void TKeptChain::Start(std::unique_ptr<TArchive>& archive, const TFileIdentity& identity) {
    Release();
    Outer = identity;
    Levels.push_back({std::move(archive), 0});
}

void TKeptChain::Keep(std::unique_ptr<TArchive>& level, uint64_t bytes) {
    if (Levels.empty() || bytes > Budget - Bytes)
        return;
    Bytes += bytes;
    Levels.push_back({std::move(level), bytes});
}

void TKeptChain::Detach() noexcept {
    for (TLevel& level : Levels)
        level.Archive->SetProgress(nullptr);
}
