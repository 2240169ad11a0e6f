#include <cstring>

#include "engine/Archive.h"
#include "engine/OpenForReading.h"

TRealArchive::TRealArchive(std::string name, uint32_t size) : TArchive(std::move(name), size) {
    UniqueHandle file(OpenForReading(Name));
    if (!file)
        return;
    DWORD read = 0;
    if (::ReadFile(file.Get(), HeadBuffer, kHeadSize, &read, nullptr))
        Head = HeadBuffer;
}

bool TRealArchive::GetMemberInfo(const std::string& memberPath, fileInfo& info) {
    std::memset(&info, 0, sizeof info);
    return GetFileInfoProc(Name.c_str(), HeadOffset, memberPath.c_str(), kSpiInputDisk | kSpiIgnoreCase, &info) == 0;
}

std::unique_ptr<TArchive> TRealArchive::OpenMember(const fileInfo& info) {
    // Disk positions are offsets in the file, whatever the probe offset.
    HLOCAL member = nullptr;
    if (GetFileProc(Name.c_str(), info.position, &member, kSpiInputDisk | kSpiOutputMemory, nullptr, 0) != 0)
        return nullptr;
    return TakeMember(member, info);
}

bool TRealArchive::SaveTo(const std::string& destPath) {
    UniqueHandle file(OpenForReading(Name));
    if (!file)
        return false;
    // The file may have shrunk since it was located: never read past its end.
    if (::GetFileSize(file.Get(), nullptr) < Size)
        return false;
    // An empty file cannot be mapped; it copies to an empty file all the same.
    if (Size == 0)
        return WriteBlockToFile(destPath, "", 0);
    UniqueHandle mapping(::CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping)
        return false;
    UniqueView view(::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
    if (!view)
        return false;
    return WriteBlockToFile(destPath, view.Get(), Size);
}
