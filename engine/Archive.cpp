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
#include "engine/WideListing.h"

namespace {

bool InFolder(std::string_view memberPath) {
    return FindLastSeparator(memberPath, "\\/") != std::string_view::npos;
}

bool NamesWithSlash(const std::vector<TListedMember>& members) {
    for (const TListedMember& listed : members) {
        if (listed.Member.Folder.find('/') != std::string::npos || listed.Member.FileName.find('/') != std::string::npos)
            return true;
    }
    return false;
}

TListedMember Listed(TMember member) {
    std::string folded = FoldedName(member.Name());
    return {std::move(folded), std::move(member)};
}

// The records of a listing block, up to its end record or its end, whichever comes first, each
// with its folder and name folded once for every lookup to come.
std::vector<TListedMember> ListingRecords(const LockedLocal& block) {
    std::vector<TListedMember> members;
    const auto* record = static_cast<const fileInfo*>(block.Data());
    if (!record)
        return members;
    for (SIZE_T count = ::LocalSize(block.Handle()) / sizeof(fileInfo); count > 0 && record->method[0] != 0; --count)
        members.push_back(Listed(MemberOf(*record++)));
    return members;
}

std::vector<TListedMember> WideListingMembers(const LockedLocal& block) {
    std::vector<TListedMember> members;
    const auto* bytes = static_cast<const unsigned char*>(block.Data());
    if (!bytes)
        return members;
    for (const fileInfoW& wide : WideListingRecords(bytes, ::LocalSize(block.Handle())))
        members.push_back(Listed(MemberOf(wide)));
    return members;
}

// What a call answers in the plug-in's stead when the name it would be given has no exact form in its
// family: the plug-in is never asked with a lossy name.
constexpr int kNoExactName = kSpiFileReadError;

}  // namespace

// Windows compares file names without regard to case; LCMapStringW folds as it does (and, unlike
// CharUpperBuffW, it needs no user32 in the process). "/" and "\" separate alike.
std::string FoldedName(const std::string& name) {
    const std::string text = WithSeparator(name, '\\');
    const std::wstring wide = WideFromUtf8(text);
    const int length = static_cast<int>(wide.size());
    std::wstring folded(wide.size(), L'\0');
    std::string utf8;
    if (length == 0 ||
        ::LCMapStringW(LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, wide.data(), length, folded.data(), length) != length ||
        !ExactUtf8(folded, utf8))
        return text;
    return utf8;
}

bool GoesInside(const std::string& path, const std::string& head) {
    const size_t end = head.size();
    return path.size() > end + 1 && FindLastSeparator(std::string_view(path).substr(0, end + 1), "\\/") == end &&
           FoldedName(path.substr(0, end)) == FoldedName(head);
}

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

bool TArchive::Locate(const std::string& path, std::string& rest, TMember& member) {
    if (TFolder::Locate(path, rest, member))
        return true;
    // Plug-ins for Unix-world formats know members in folders by "/" alone. Until an answer or a
    // listing has shown which separator this one takes, "/" is tried only when "\" found nothing, so
    // that a path that is there costs no call more, whichever the plug-in takes.
    if (Naming != TNaming::kUnknown || !InFolder(path) || Failure.Kind == TFailureKind::kAmbiguousName)
        return false;
    const TFailure usual = Failure;
    Naming = TNaming::kTrySlash;
    if (TFolder::Locate(path, rest, member))
        return true;
    if (Failure.Kind == TFailureKind::kAmbiguousName)
        return false;
    Naming = TNaming::kUnknown;
    Failure = usual;
    return false;
}

bool TArchive::Test(const std::string& prefix, TMember& member) {
    // A prefix without a separator was asked as it is already.
    if (Naming == TNaming::kTrySlash && !InFolder(prefix))
        return false;
    return GetMemberInfo(prefix, member);
}

bool TArchive::AskMemberInfo(const TInput& input, const std::string& memberPath, TMember& member) {
    const bool slash = Naming == TNaming::kSlash || Naming == TNaming::kTrySlash;
    const std::string asked = WithSeparator(memberPath, slash ? '/' : '\\');
    const int result = CallGetFileInfo(input, asked, member);
    if (result == 0) {
        if (InFolder(asked))
            Naming = slash ? TNaming::kSlash : TNaming::kBackslash;
        return true;
    }
    if (SourceUnnamed || Canceled())
        return false;
    // Some plug-ins match by file name only, yet list every member with its folder.
    if (FindInListing(input, memberPath, member) || Failure.Kind == TFailureKind::kAmbiguousName)
        return Failure.Kind != TFailureKind::kAmbiguousName;
    std::string ansi;
    if (!Wide && !AnsiFromUtf8(memberPath, ansi))
        return Fail(TFailureKind::kNotInCodePage);
    return Fail(TFailureKind::kNotFound, result);
}

bool TArchive::AskRecorded(const TInput& input, const TMember& recorded, TMember& member) {
    if (Wide ? CallGetFileInfo(input, recorded.Name(), member) == 0 : AskByRecord(input, recorded.Record, member))
        return true;
    return !SourceUnnamed && !Canceled() && FindInListing(input, recorded.Name(), member);
}

bool TArchive::AskByRecord(const TInput& input, const fileInfo& recorded, TMember& member) {
    // The plug-in's own bytes, which it recognises whatever they are.
    std::string name(FieldText(recorded.path, sizeof recorded.path));
    name += FieldText(recorded.filename, sizeof recorded.filename);
    std::wstring wide;
    const void* source = CallSource(input, wide);
    if (!source)
        return false;
    fileInfo found;
    std::memset(&found, 0, sizeof found);
    const TPluginCall call(PluginName, InMemory(input));
    if (GetFileInfoProc(static_cast<const char*>(source), static_cast<LONG_PTR>(input.Length), name.c_str(),
                        input.Flag | kSpiIgnoreCase, &found) != 0)
        return false;
    member = MemberOf(found);
    return true;
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

std::optional<int> TArchive::ListMembers(const TInput& input) {
    const unsigned int bit = 1u << (input.Flag & kSpiInputMask);
    if (!(Wide ? GetArchiveInfoWProc != nullptr : GetArchiveInfoProc != nullptr) || (ListingTried & bit))
        return std::nullopt;
    ListingTried |= bit;
    HLOCAL block = nullptr;
    const int result = CallGetArchiveInfo(input, block);
    // The listing is ours to free, whatever the result said.
    const LockedLocal listing(block && ::LocalFlags(block) != LMEM_INVALID_HANDLE ? block : nullptr);
    if (result == 0 && listing.Data()) {
        Listing = Wide ? WideListingMembers(listing) : ListingRecords(listing);
        ListingInput = input.Flag & kSpiInputMask;
        if (Naming == TNaming::kUnknown)
            Naming = NamesWithSlash(Listing) ? TNaming::kSlash : TNaming::kBackslash;
    }
    return result;
}

bool TArchive::FindInListing(const TInput& input, const std::string& memberPath, TMember& member) {
    ListMembers(input);
    if (ListingInput != (input.Flag & kSpiInputMask))
        return false;
    const std::string wanted = FoldedName(memberPath);
    for (const TListedMember& listed : Listing) {
        if (listed.FoldedPath == wanted) {
            member = listed.Member;
            return true;
        }
    }
    std::string ansi;
    return !Wide && !AnsiFromUtf8(memberPath, ansi) && FindLossyForm(memberPath, member);
}

bool TArchive::FindLossyForm(const std::string& memberPath, TMember& member) {
    const TLossyPattern pattern(FoldedName(memberPath));
    const TListedMember* found = nullptr;
    for (const TListedMember& listed : Listing) {
        if (!pattern.Matches(listed.FoldedPath))
            continue;
        // Two candidates: either could be the one the user means, and a wrong one would be written as
        // if it were right.
        if (found) {
            Fail(TFailureKind::kAmbiguousName);
            return false;
        }
        found = &listed;
    }
    if (!found)
        return false;
    // Named from now on as the user names it: its lossy name is nobody's.
    member = found->Member;
    std::string folder = memberPath;
    std::string name;
    SplitLastComponent(folder, name);
    member.Folder = folder.empty() ? folder : folder + '\\';
    member.FileName = name;
    return true;
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
