#include "engine/Archive.h"

#include "base/AnsiPath.h"
#include "base/ProcAddress.h"
#include "engine/PluginList.h"

bool TArchive::Probe(HMODULE module, IsSupportedFunc isSupported, uint32_t offset) {
    if (!isSupported(Name.c_str(), Head + offset))
        return false;
    Module = module;
    HeadOffset = offset;
    return true;
}

bool TArchive::ProbeAt0(HMODULE module, IsSupportedFunc isSupported) {
    return Probe(module, isSupported, 0);
}

bool TArchive::ProbeAt128(HMODULE module, IsSupportedFunc isSupported) {
    return Probe(module, isSupported, kProbeOffset);
}

bool TArchive::BindPlugin(TPluginList& pluginList) {
    if (!Head)
        return false;
    // Every plug-in is asked at offset 0 before any is asked at offset 128.
    if (!pluginList.FindPlugin(&TArchive::ProbeAt0, *this) && !pluginList.FindPlugin(&TArchive::ProbeAt128, *this))
        return false;
    GetFileInfoProc = ProcAddress<GetFileInfoFunc>(Module, "GetFileInfo");
    GetFileProc = ProcAddress<GetFileFunc>(Module, "GetFile");
    return GetFileInfoProc && GetFileProc;
}

std::string TArchive::MemberName(const fileInfo& info) const {
    std::string name = Name;
    name += '\\';
    name += FieldText(info.path, sizeof info.path);
    name += FieldText(info.filename, sizeof info.filename);
    return name;
}

std::unique_ptr<TArchive> TArchive::TakeMember(HLOCAL member, const fileInfo& info) const {
    if (!member || ::LocalFlags(member) == LMEM_INVALID_HANDLE)
        return nullptr;
    UniqueLocal owned(member);
    return std::make_unique<TVirtualArchive>(MemberName(info), info.filesize, std::move(owned));
}
