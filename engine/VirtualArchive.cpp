#include <cstring>

#include "engine/Archive.h"

TVirtualArchive::TVirtualArchive(std::string name, uint32_t size, UniqueLocal memHandle)
    : TArchive(std::move(name), size) {
    // A block smaller than the size the plug-in announced would be read past its end; such an
    // object has no Head, and the block is freed as this constructor returns.
    const SIZE_T blockSize = ::LocalSize(memHandle.Get());
    if (blockSize < size)
        return;
    // Probes read kHeadSize bytes, also behind a short member.
    if (blockSize < kHeadSize) {
        HLOCAL grown = ::LocalReAlloc(memHandle.Get(), kHeadSize, LMEM_MOVEABLE | LMEM_ZEROINIT);
        if (!grown)
            return;
        memHandle.Release();
        memHandle.Reset(grown);
    }
    MemHandle = LockedLocal(memHandle.Release());
    auto* head = static_cast<unsigned char*>(MemHandle.Data());
    if (head && Size < kHeadSize)
        std::memset(head + Size, 0, kHeadSize - Size);
    Head = head;
}

bool TVirtualArchive::GetMemberInfo(const std::string& memberPath, fileInfo& info) {
    if (!HasData())
        return false;
    std::memset(&info, 0, sizeof info);
    // Recognised at offset 128, the archive starts there for the plug-in: its positions count
    // from that point.
    return GetFileInfoProc(reinterpret_cast<const char*>(Data()), static_cast<long>(DataSize()), memberPath.c_str(),
                           kSpiInputMemory | kSpiIgnoreCase, &info) == 0;
}

std::unique_ptr<TArchive> TVirtualArchive::OpenMember(const fileInfo& info) {
    if (!HasData() || info.position > DataSize())
        return nullptr;
    HLOCAL member = nullptr;
    if (GetFileProc(reinterpret_cast<const char*>(Data() + info.position), static_cast<long>(DataSize() - info.position),
                    &member, kSpiInputMemory | kSpiOutputMemory, nullptr, 0) != 0)
        return nullptr;
    return TakeMember(member, info);
}

bool TVirtualArchive::SaveTo(const std::string& destPath) {
    return WriteBlockToFile(destPath, Head, Size);
}
