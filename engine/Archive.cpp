#include "engine/Archive.h"

#include <cstring>

#include "base/PathText.h"
#include "base/ProcAddress.h"
#include "base/SystemPath.h"
#include "base/WideText.h"
#include "engine/LossyName.h"
#include "engine/PluginActivity.h"
#include "engine/PluginList.h"
#include "engine/SpiProgress.h"

namespace {

// What a call answers in the plug-in's stead when the name it would be given has no exact form in its
// family: the plug-in is never asked with a lossy name.
constexpr int kNoExactName = kSpiFileReadError;

}  // namespace

TFailureKind MemoryMemberFailure(uint64_t size) {
    return size == static_cast<uint32_t>(size) ? TFailureKind::kNone : TFailureKind::kTooLarge;
}

bool TArchive::Probe(const TPluginInfo& plugin, uint32_t offset) {
    // The name tells a plug-in the kind of file, its bytes are in head: a name the code page lacks
    // stands in with "_" for what is missing.
    const bool accepted = plugin.IsSupportedWProc
                              ? plugin.IsSupportedWProc(WideFromUtf8(Name).c_str(), Head + offset) != 0
                              : plugin.IsSupportedProc &&
                                    plugin.IsSupportedProc(StandInAnsi(Name).c_str(), Head + offset) != 0;
    if (!accepted)
        return false;
    Module = plugin.Module.Get();
    HeadOffset = offset;
    return true;
}

bool TArchive::ProbeAt0(const TPluginInfo& plugin) {
    return Probe(plugin, 0);
}

bool TArchive::ProbeAt128(const TPluginInfo& plugin) {
    return Probe(plugin, kProbeOffset);
}

bool TArchive::BindPlugin(TPluginList& pluginList) {
    // A level without data has said why already.
    if (!Head)
        return Failure.Kind != TFailureKind::kNone ? false : Fail(TFailureKind::kInternal);
    // Every plug-in is asked at offset 0 before any is asked at offset 128.
    if (!pluginList.FindPlugin(&TArchive::ProbeAt0, *this) && !pluginList.FindPlugin(&TArchive::ProbeAt128, *this)) {
        Fail(TFailureKind::kNoPlugin);
        Failure.Skipped = pluginList.SkippedText();
        if (pluginList.Count() == 0 && Failure.Skipped.empty()) {
            Failure.File = FolderShown(pluginList.Folder());
        }
        return false;
    }
    Plugin = pluginList.InfoOf(Module);
    PluginName = Plugin ? Plugin->FileName : std::string();
    Failure.Plugin = PluginName;
    GetFileInfoProc = ProcAddress<GetFileInfoFunc>(Module, "GetFileInfo");
    GetFileProc = ProcAddress<GetFileFunc>(Module, "GetFile");
    GetArchiveInfoProc = ProcAddress<GetArchiveInfoFunc>(Module, "GetArchiveInfo");
    GetFileInfoWProc = ProcAddress<GetFileInfoWFunc>(Module, "GetFileInfoW");
    GetFileWProc = ProcAddress<GetFileWFunc>(Module, "GetFileW");
    GetArchiveInfoWProc = ProcAddress<GetArchiveInfoWFunc>(Module, "GetArchiveInfoW");
    // One family for the whole level, as the plug-ins' own convention asks.
    Wide = GetFileInfoWProc && GetFileWProc && (GetArchiveInfoWProc || !GetArchiveInfoProc);
    return Wide || (GetFileInfoProc && GetFileProc) || Fail(TFailureKind::kPluginIncomplete);
}

const void* TArchive::CallSource(const TInput& input, std::wstring& wide) {
    if (InMemory(input))
        return input.Source;
    if (Wide) {
        wide = SystemPath(input.Source);
        return wide.c_str();
    }
    DWORD error = ERROR_SUCCESS;
    const std::string& ansi = Alias.Of(input.Source, error);
    SourceUnnamed = ansi.empty();
    if (SourceUnnamed) {
        FailOnFile(TFailureKind::kCannotRead, error, input.Source);
        return nullptr;
    }
    return ansi.c_str();
}

int TArchive::CallGetFileInfo(const TInput& input, const std::string& asked, TMember& member) {
    const auto length = static_cast<LONG_PTR>(input.Length);
    const unsigned int flag = input.Flag | kSpiIgnoreCase;
    std::wstring wideSource;
    const void* source = CallSource(input, wideSource);
    if (!source)
        return kNoExactName;
    const TPluginCall call(PluginName, InMemory(input));
    if (!Wide) {
        std::string ansi;
        if (!AnsiFromUtf8(asked, ansi))
            return kNoExactName;
        fileInfo found;
        std::memset(&found, 0, sizeof found);
        const int result = GetFileInfoProc(static_cast<const char*>(source), length, ansi.c_str(), flag, &found);
        if (result == 0)
            member = MemberOf(found);
        return result;
    }
    fileInfoW found;
    std::memset(&found, 0, sizeof found);
    const int result = GetFileInfoWProc(static_cast<const WCHAR*>(source), length, WideFromUtf8(asked).c_str(), flag,
                                        &found);
    if (result == 0)
        member = MemberOf(found);
    return result;
}

int TArchive::CallGetArchiveInfo(const TInput& input, HLOCAL& block) {
    const auto length = static_cast<LONG_PTR>(input.Length);
    std::wstring wideSource;
    const void* source = CallSource(input, wideSource);
    if (!source)
        return kNoExactName;
    const TPluginCall call(PluginName, InMemory(input));
    return Wide ? GetArchiveInfoWProc(static_cast<const WCHAR*>(source), length, input.Flag, &block)
                : GetArchiveInfoProc(static_cast<const char*>(source), length, input.Flag, &block);
}

int TArchive::CallGetFile(const char* source,
                          LONG_PTR length,
                          void* destination,
                          unsigned int flag,
                          LONG_PTR progressData) {
    const bool memory = (flag & kSpiInputMask) == kSpiInputMemory;
    const bool diskOutput = (flag & kSpiOutputMask) == kSpiOutputDisk;
    std::wstring wideSource;
    const void* given = memory ? source : CallSource(TInput{source, 0, flag & kSpiInputMask}, wideSource);
    if (!given)
        return kNoExactName;
    // A folder for disk output is named as the family takes names; the caller made it so it converts.
    std::wstring wideFolder;
    std::string ansiFolder;
    if (diskOutput) {
        const char* folder = static_cast<const char*>(destination);
        if (Wide)
            wideFolder = SystemPath(folder);
        else if (!AnsiNameOf(folder, ansiFolder))
            return kNoExactName;
        destination = Wide ? static_cast<void*>(wideFolder.data()) : static_cast<void*>(ansiFolder.data());
    }
    const TPluginCall call(PluginName, memory);
    return Wide ? GetFileWProc(static_cast<const WCHAR*>(given), length, destination, flag, TSpiProgress::Callback,
                               progressData)
                : GetFileProc(static_cast<const char*>(given), length, destination, flag, TSpiProgress::Callback,
                              progressData);
}

bool TArchive::FitsInMemory(const TMember& member) {
    const TFailureKind tooLarge = MemoryMemberFailure(member.Record.filesize);
    return tooLarge == TFailureKind::kNone || Fail(tooLarge);
}

HLOCAL TArchive::AskMember(const TInput& input, const TMember& member) {
    const fileInfo& info = member.Record;
    // Refused before the plug-in spends its time and memory on it.
    if (!FitsInMemory(member))
        return nullptr;
    const bool memory = InMemory(input);
    // Memory positions must stay inside the image.
    if (memory && info.position > input.Length) {
        Fail(TFailureKind::kShortBlock);
        return nullptr;
    }
    const char* source = memory ? input.Source + info.position : input.Source;
    const auto length = static_cast<LONG_PTR>(memory ? input.Length - info.position : info.position);
    HLOCAL block = nullptr;
    const TSpiProgress progress(Progress);
    const int result = CallGetFile(source, length, &block, input.Flag | kSpiOutputMemory, progress.Data());
    if (result != 0) {
        if (!SourceUnnamed)
            Fail(TFailureKind::kPluginError, result);
        return nullptr;
    }
    if (!block || ::LocalFlags(block) == LMEM_INVALID_HANDLE) {
        Fail(TFailureKind::kPluginError, kSpiMemoryError);
        return nullptr;
    }
    return block;
}

std::string TArchive::MemberName(const TMember& member) const {
    // Named as the user names it, whatever separator the plug-in gave.
    return Name + '\\' + WithSeparator(member.Name(), '\\');
}

std::unique_ptr<TArchive> TArchive::TakeMember(HLOCAL block, const TMember& member) {
    UniqueLocal owned(block);
    // A block smaller than the size the plug-in announced would be read past its end.
    if (::LocalSize(block) < member.Record.filesize) {
        Fail(TFailureKind::kShortBlock);
        return nullptr;
    }
    if (!FitsInMemory(member))
        return nullptr;
    auto taken = std::make_unique<TVirtualArchive>(MemberName(member), static_cast<uint32_t>(member.Record.filesize),
                                                   std::move(owned));
    if (taken->LastFailure().Kind != TFailureKind::kNone) {
        Failure = taken->LastFailure();
        return nullptr;
    }
    return taken;
}
