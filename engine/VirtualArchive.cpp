#include <cstring>

#include "base/PathText.h"
#include "engine/Archive.h"
#include "engine/PluginList.h"

TVirtualArchive::TVirtualArchive(std::string name, uint32_t size, UniqueLocal memHandle)
    : TArchive(std::move(name), size) {
    const SIZE_T blockSize = ::LocalSize(memHandle.Get());
    if (blockSize < size) {
        Fail(TFailureKind::kShortBlock);
        return;
    }
    // Probes read kHeadSize bytes, also behind a short member.
    if (blockSize < kHeadSize) {
        HLOCAL grown = ::LocalReAlloc(memHandle.Get(), kHeadSize, LMEM_MOVEABLE | LMEM_ZEROINIT);
        if (!grown) {
            Fail(TFailureKind::kInternal);
            return;
        }
        memHandle.Release();
        memHandle.Reset(grown);
    }
    MemHandle = LockedLocal(memHandle.Release());
    auto* head = static_cast<unsigned char*>(MemHandle.Data());
    if (!head) {
        Fail(TFailureKind::kInternal);
        return;
    }
    if (Size < kHeadSize)
        std::memset(head + Size, 0, kHeadSize - Size);
    Head = head;
}

TVirtualArchive::TVirtualArchive(std::string name, uint32_t size, UniqueWritableView view)
    : TArchive(std::move(name), size), View(std::move(view)) {
    Head = static_cast<unsigned char*>(View.Get());
    if (!Head)
        Fail(TFailureKind::kInternal);
}

bool TVirtualArchive::MoveToDisk() {
    if (const DWORD error = DiskCopy.Create(Data(), DataSize(), Name))
        return FailOnFile(TFailureKind::kCannotWrite, error, DiskCopy.Path());
    return true;
}

bool TVirtualArchive::PlaceForPlugin() {
    if (!HasData() || OnDisk() || !Plugin)
        return true;
    // Its listing is the one call that tells "no" safely: some plug-ins answer -1 there, then crash
    // in GetFileInfo. A plug-in that could not list this image at all gets a copy of this level.
    if (Plugin->MemoryInput == TMemoryInput::kUntried) {
        const std::optional<int> listed = ListMembers(CurrentInput());
        if (listed == 0) {
            Plugin->MemoryInput = TMemoryInput::kReads;
        } else if (listed) {
            if (!MoveToDisk())
                return false;
            // -1 is all that a stub of a listing ever answers: only a copy that it lists shows that
            // memory is what the plug-in refuses.
            const std::optional<int> onDisk = *listed == kSpiNoFunction ? ListMembers(CurrentInput()) : std::nullopt;
            if (onDisk == 0)
                Plugin->MemoryInput = TMemoryInput::kGivenCopies;
            else if (onDisk == kSpiNoFunction)
                Plugin->MemoryInput = TMemoryInput::kListingStub;
            return true;
        }
    }
    return Plugin->MemoryInput != TMemoryInput::kGivenCopies || MoveToDisk();
}

bool TVirtualArchive::Locate(const std::string& path, std::string& rest, TMember& member) {
    if (!PlaceForPlugin())
        return false;
    if (TArchive::Locate(path, rest, member))
        return true;
    // A plug-in that listed the image has read memory: the member is simply not there. Without a
    // listing, a plug-in that finds nothing may be one that refuses memory input.
    if (!HasData() || OnDisk() || ListedFromMemory() || Canceled() || Failure.Kind == TFailureKind::kAmbiguousName)
        return false;
    const TFailure inMemory = Failure;
    if (!MoveToDisk())
        return false;
    if (TArchive::Locate(path, rest, member))
        return true;
    Failure = inMemory;
    return false;
}

bool TVirtualArchive::GetMemberInfo(const std::string& memberPath, TMember& member) {
    if (!HasData())
        return false;
    // Recognised at offset 128, the archive starts there for the plug-in: its positions count
    // from that point, in memory and in the disk copy alike.
    return AskMemberInfo(CurrentInput(), memberPath, member);
}

const TMemberListing* TVirtualArchive::Members() {
    if (!HasData() || !PlaceForPlugin())
        return nullptr;
    if (const TMemberListing* listed = ListingWith(CurrentInput()))
        return listed;
    // One that lists nothing from memory may be one that refuses memory input.
    if (OnDisk() || Canceled() || Failure.Kind == TFailureKind::kNoListing)
        return nullptr;
    const TFailure inMemory = Failure;
    if (!MoveToDisk())
        return nullptr;
    if (const TMemberListing* listed = ListingWith(CurrentInput()))
        return listed;
    Failure = inMemory;
    return nullptr;
}

std::unique_ptr<TArchive> TVirtualArchive::OpenMember(const TMember& member) {
    if (!HasData())
        return nullptr;
    if (OnDisk()) {
        HLOCAL block = AskMember(CurrentInput(), member);
        return block ? TakeMember(block, member) : nullptr;
    }
    if (HLOCAL block = AskMember(CurrentInput(), member))
        return TakeMember(block, member);
    if (Failure.Kind != TFailureKind::kPluginError || Canceled())
        return nullptr;
    return OpenMemberOnDisk(member);
}

std::unique_ptr<TArchive> TVirtualArchive::OpenMemberOnDisk(const TMember& member) {
    const TFailure inMemory = Failure;
    if (!MoveToDisk())
        return nullptr;
    // Some plug-ins trust a position only right after a lookup of the same file: the copy is asked
    // by the member's name as the plug-in recorded it.
    TMember onDisk;
    if (!AskRecorded(CurrentInput(), member, onDisk)) {
        Failure = inMemory;
        return nullptr;
    }
    // Named as it was found, also when only its lossy name is the plug-in's.
    onDisk.Folder = member.Folder;
    onDisk.FileName = member.FileName;
    HLOCAL block = AskMember(CurrentInput(), onDisk);
    if (!block)
        return nullptr;
    // It reads the copy but not the image: from now on it is given copies at once.
    if (Plugin)
        Plugin->MemoryInput = TMemoryInput::kGivenCopies;
    return TakeMember(block, onDisk);
}

bool TVirtualArchive::SaveTo(const std::string& destPath) {
    // A plug-in may have gone on after it was asked to stop.
    if (!Head || Canceled())
        return false;
    const TWin32Result written = WriteBlockToFile(destPath, Head, Size);
    return written || FailOnFile(TFailureKind::kCannotWrite, written.Error, destPath);
}
