#include <cstring>

#include "engine/Archive.h"

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

bool TVirtualArchive::Locate(const std::string& path, std::string& rest, fileInfo& info) {
    if (TArchive::Locate(path, rest, info))
        return true;
    // A plug-in that listed the image has read memory: the member is simply not there. Without a
    // listing, a plug-in that finds nothing may be one that refuses memory input.
    if (!HasData() || OnDisk() || ListedFromMemory() || Canceled())
        return false;
    const TFailure inMemory = Failure;
    if (!MoveToDisk())
        return false;
    if (TArchive::Locate(path, rest, info))
        return true;
    Failure = inMemory;
    return false;
}

bool TVirtualArchive::GetMemberInfo(const std::string& memberPath, fileInfo& info) {
    if (!HasData())
        return false;
    // Recognised at offset 128, the archive starts there for the plug-in: its positions count
    // from that point, in memory and in the disk copy alike.
    return AskMemberInfo(CurrentInput(), memberPath, info);
}

std::unique_ptr<TArchive> TVirtualArchive::OpenMember(const fileInfo& info) {
    if (!HasData())
        return nullptr;
    if (!OnDisk()) {
        if (HLOCAL member = AskMember(CurrentInput(), info))
            return TakeMember(member, info);
        if (Failure.Kind != TFailureKind::kPluginError || Canceled() || !MoveToDisk())
            return nullptr;
    }
    HLOCAL member = AskMember(CurrentInput(), info);
    return member ? TakeMember(member, info) : nullptr;
}

bool TVirtualArchive::SaveTo(const std::string& destPath) {
    // A plug-in may have gone on after it was asked to stop.
    if (!Head || Canceled())
        return false;
    const TWin32Result written = WriteBlockToFile(destPath, Head, Size);
    return written || FailOnFile(TFailureKind::kCannotWrite, written.Error, destPath);
}
