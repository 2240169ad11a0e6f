#include "engine/Archive.h"

#include <cstring>

#include "base/PathText.h"
#include "base/ProcAddress.h"
#include "base/WideText.h"
#include "engine/PluginActivity.h"
#include "engine/PluginList.h"
#include "engine/SpiProgress.h"
#include "engine/WideListing.h"

namespace {

bool InFolder(std::string_view memberPath) {
    return FindLastSeparator(memberPath, "\\/") != std::string_view::npos;
}

// A '/' is never part of a double-byte character, so any is a separator.
bool NamesWithSlash(const std::vector<TListedMember>& members) {
    for (const TListedMember& member : members) {
        const fileInfo& record = member.Record;
        if (FieldText(record.path, sizeof record.path).find('/') != std::string_view::npos ||
            FieldText(record.filename, sizeof record.filename).find('/') != std::string_view::npos)
            return true;
    }
    return false;
}

TListedMember Listed(const fileInfo& record) {
    std::string name(FieldText(record.path, sizeof record.path));
    name += FieldText(record.filename, sizeof record.filename);
    return {FoldedName(name), record};
}

// The records of a listing block, up to its end record or its end, whichever comes first, each
// with its folder and name folded once for every lookup to come.
std::vector<TListedMember> ListingRecords(const LockedLocal& block) {
    std::vector<TListedMember> members;
    const auto* record = static_cast<const fileInfo*>(block.Data());
    if (!record)
        return members;
    for (SIZE_T count = ::LocalSize(block.Handle()) / sizeof(fileInfo); count > 0 && record->method[0] != 0; --count)
        members.push_back(Listed(*record++));
    return members;
}

// The same of a wide listing. A member without an exact ANSI name is left out: no ANSI name may take it.
std::vector<TListedMember> WideListingMembers(const LockedLocal& block) {
    std::vector<TListedMember> members;
    const auto* bytes = static_cast<const unsigned char*>(block.Data());
    if (!bytes)
        return members;
    for (const fileInfoW& wide : WideListingRecords(bytes, ::LocalSize(block.Handle()))) {
        fileInfo record;
        if (AnsiRecord(wide, record))
            members.push_back(Listed(record));
    }
    return members;
}

// What a wide call answers in the plug-in's stead when a name it would be given has no exact wide form.
constexpr int kNoExactName = kSpiFileReadError;

// The source as the wide family takes it: the same bytes for memory input, else the file's name;
// null when that has no exact wide form.
const WCHAR* WideSource(const char* source, bool memory, std::wstring& name) {
    if (memory)
        return reinterpret_cast<const WCHAR*>(source);
    return ExactWide(source, name) ? name.c_str() : nullptr;
}

}  // namespace

// Windows compares ANSI file names without regard to case; LCMapStringA folds whole characters, so
// double-byte characters stay intact (and, unlike CharUpperBuffA, it needs no user32 in the process).
// "/" and "\" separate alike.
std::string FoldedName(const std::string& name) {
    const std::string text = WithSeparator(name, '\\');
    const int length = static_cast<int>(text.size());
    std::string folded(text.size(), '\0');
    if (length == 0 ||
        ::LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, text.data(), length, folded.data(), length) != length)
        return text;
    return folded;
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
    std::wstring wide;
    const bool accepted = plugin.IsSupportedWProc && ExactWide(Name, wide)
                              ? plugin.IsSupportedWProc(wide.c_str(), Head + offset) != 0
                              : plugin.IsSupportedProc && plugin.IsSupportedProc(Name.c_str(), Head + offset) != 0;
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

bool TArchive::Locate(const std::string& path, std::string& rest, fileInfo& info) {
    if (TFolder::Locate(path, rest, info))
        return true;
    // Plug-ins for Unix-world formats know members in folders by "/" alone. Until an answer or a
    // listing has shown which separator this one takes, "/" is tried only when "\" found nothing, so
    // that a path that is there costs no call more, whichever the plug-in takes.
    if (Naming != TNaming::kUnknown || !InFolder(path))
        return false;
    const TFailure usual = Failure;
    Naming = TNaming::kTrySlash;
    if (TFolder::Locate(path, rest, info))
        return true;
    Naming = TNaming::kUnknown;
    Failure = usual;
    return false;
}

bool TArchive::Test(const std::string& prefix, fileInfo& info) {
    // A prefix without a separator was asked as it is already.
    if (Naming == TNaming::kTrySlash && !InFolder(prefix))
        return false;
    return GetMemberInfo(prefix, info);
}

bool TArchive::AskMemberInfo(const TInput& input, const std::string& memberPath, fileInfo& info) {
    const bool slash = Naming == TNaming::kSlash || Naming == TNaming::kTrySlash;
    const std::string asked = WithSeparator(memberPath, slash ? '/' : '\\');
    const int result = CallGetFileInfo(input, asked, info);
    if (result == 0) {
        if (InFolder(asked))
            Naming = slash ? TNaming::kSlash : TNaming::kBackslash;
        return true;
    }
    // Some plug-ins match by file name only, yet list every member with its folder.
    if (FindInListing(input, memberPath, info))
        return true;
    return Fail(TFailureKind::kNotFound, result);
}

int TArchive::CallGetFileInfo(const TInput& input, const std::string& asked, fileInfo& info) {
    std::memset(&info, 0, sizeof info);
    const auto length = static_cast<LONG_PTR>(input.Length);
    const unsigned int flag = input.Flag | kSpiIgnoreCase;
    const TPluginCall call(PluginName, InMemory(input));
    if (!Wide)
        return GetFileInfoProc(input.Source, length, asked.c_str(), flag, &info);
    std::wstring name;
    std::wstring member;
    const WCHAR* source = WideSource(input.Source, InMemory(input), name);
    if (!source || !ExactWide(asked, member))
        return kNoExactName;
    fileInfoW found;
    std::memset(&found, 0, sizeof found);
    const int result = GetFileInfoWProc(source, length, member.c_str(), flag, &found);
    // A member whose name has no exact ANSI form is not the one an ANSI name asked for.
    return result != 0 || AnsiRecord(found, info) ? result : kNoExactName;
}

int TArchive::CallGetArchiveInfo(const TInput& input, HLOCAL& block) {
    const auto length = static_cast<LONG_PTR>(input.Length);
    const TPluginCall call(PluginName, InMemory(input));
    if (!Wide)
        return GetArchiveInfoProc(input.Source, length, input.Flag, &block);
    std::wstring name;
    const WCHAR* source = WideSource(input.Source, InMemory(input), name);
    return source ? GetArchiveInfoWProc(source, length, input.Flag, &block) : kNoExactName;
}

int TArchive::CallGetFile(const char* source,
                          LONG_PTR length,
                          void* destination,
                          unsigned int flag,
                          LONG_PTR progressData) {
    const bool memory = (flag & kSpiInputMask) == kSpiInputMemory;
    const TPluginCall call(PluginName, memory);
    if (!Wide)
        return GetFileProc(source, length, destination, flag, TSpiProgress::Callback, progressData);
    std::wstring name;
    std::wstring folder;
    const WCHAR* wideSource = WideSource(source, memory, name);
    const bool diskOutput = (flag & kSpiOutputMask) == kSpiOutputDisk;
    if (!wideSource || (diskOutput && !ExactWide(static_cast<const char*>(destination), folder)))
        return kNoExactName;
    return GetFileWProc(wideSource, length, diskOutput ? folder.data() : destination, flag, TSpiProgress::Callback,
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

bool TArchive::FindInListing(const TInput& input, const std::string& memberPath, fileInfo& info) {
    ListMembers(input);
    if (ListingInput != (input.Flag & kSpiInputMask))
        return false;
    const std::string wanted = FoldedName(memberPath);
    for (const TListedMember& member : Listing) {
        if (member.FoldedPath == wanted) {
            info = member.Record;
            return true;
        }
    }
    return false;
}

bool TArchive::FitsInMemory(const fileInfo& info) {
    const TFailureKind tooLarge = MemoryMemberFailure(info.filesize);
    return tooLarge == TFailureKind::kNone || Fail(tooLarge);
}

HLOCAL TArchive::AskMember(const TInput& input, const fileInfo& info) {
    // Refused before the plug-in spends its time and memory on it.
    if (!FitsInMemory(info))
        return nullptr;
    const bool memory = InMemory(input);
    // Memory positions must stay inside the image.
    if (memory && info.position > input.Length) {
        Fail(TFailureKind::kShortBlock);
        return nullptr;
    }
    const char* source = memory ? input.Source + info.position : input.Source;
    const auto length = static_cast<LONG_PTR>(memory ? input.Length - info.position : info.position);
    HLOCAL member = nullptr;
    const TSpiProgress progress(Progress);
    const int result = CallGetFile(source, length, &member, input.Flag | kSpiOutputMemory, progress.Data());
    if (result != 0) {
        Fail(TFailureKind::kPluginError, result);
        return nullptr;
    }
    if (!member || ::LocalFlags(member) == LMEM_INVALID_HANDLE) {
        Fail(TFailureKind::kPluginError, kSpiMemoryError);
        return nullptr;
    }
    return member;
}

std::string TArchive::MemberName(const fileInfo& info) const {
    std::string member(FieldText(info.path, sizeof info.path));
    member += FieldText(info.filename, sizeof info.filename);
    // Named as the user names it, whatever separator the plug-in gave.
    return Name + '\\' + WithSeparator(member, '\\');
}

std::unique_ptr<TArchive> TArchive::TakeMember(HLOCAL member, const fileInfo& info) {
    UniqueLocal owned(member);
    // A block smaller than the size the plug-in announced would be read past its end.
    if (::LocalSize(member) < info.filesize) {
        Fail(TFailureKind::kShortBlock);
        return nullptr;
    }
    if (!FitsInMemory(info))
        return nullptr;
    auto taken = std::make_unique<TVirtualArchive>(MemberName(info), static_cast<uint32_t>(info.filesize),
                                                   std::move(owned));
    if (taken->LastFailure().Kind != TFailureKind::kNone) {
        Failure = taken->LastFailure();
        return nullptr;
    }
    return taken;
}
