#include "engine/MemberLookup.h"

#include <cstring>

#include "base/PathText.h"
#include "base/WideText.h"
#include "engine/Archive.h"
#include "engine/LossyName.h"
#include "engine/PluginActivity.h"
#include "engine/WideListing.h"

namespace {

bool InFolder(std::string_view memberPath) {
    return FindLastSeparator(memberPath, "\\/") != std::string_view::npos;
}

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

bool TMemberListing::AskFirst(unsigned int input) {
    const unsigned int bit = 1u << input;
    const bool first = !(Tried & bit);
    Tried |= bit;
    return first;
}

void TMemberListing::Take(const LockedLocal& block, bool wide, unsigned int input) {
    Listed.clear();
    FoldedAll = false;
    Input = input;
    const auto* bytes = static_cast<const unsigned char*>(block.Data());
    if (!bytes)
        return;
    const SIZE_T size = ::LocalSize(block.Handle());
    if (wide) {
        for (const fileInfoW& record : WideListingRecords(bytes, size))
            Listed.emplace_back(record);
        return;
    }
    const auto* record = reinterpret_cast<const fileInfo*>(bytes);
    Listed.reserve(size / sizeof(fileInfo));
    for (SIZE_T count = size / sizeof(fileInfo); count > 0 && record->method[0] != 0; --count)
        Listed.emplace_back(*record++);
}

const std::vector<TListedMember>& TMemberListing::Folded() const {
    if (!FoldedAll) {
        for (TListedMember& listed : Listed)
            listed.FoldedPath = FoldedName(listed.Member.Name());
        FoldedAll = true;
    }
    return Listed;
}

bool TMemberListing::NamesWithSlash() const {
    for (const TListedMember& listed : Listed) {
        if (listed.Member.Folder.find('/') != std::string::npos || listed.Member.FileName.find('/') != std::string::npos)
            return true;
    }
    return false;
}

const TListedMember* TMemberListing::Find(const std::string& memberPath) const {
    const std::string wanted = FoldedName(memberPath);
    for (const TListedMember& listed : Folded()) {
        if (listed.FoldedPath == wanted)
            return &listed;
    }
    return nullptr;
}

const TListedMember* TMemberListing::FindLossy(const std::string& memberPath, bool& ambiguous) const {
    const TLossyPattern pattern(FoldedName(memberPath));
    const TListedMember* found = nullptr;
    ambiguous = false;
    for (const TListedMember& listed : Folded()) {
        if (!pattern.Matches(listed.FoldedPath))
            continue;
        // Two candidates: either could be the one the user means, and a wrong one would be written as
        // if it were right.
        if (found) {
            ambiguous = true;
            return nullptr;
        }
        found = &listed;
    }
    return found;
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

std::optional<int> TArchive::ListMembers(const TInput& input) {
    const unsigned int kind = input.Flag & kSpiInputMask;
    if (!(Wide ? GetArchiveInfoWProc != nullptr : GetArchiveInfoProc != nullptr) || !Listing.AskFirst(kind))
        return std::nullopt;
    HLOCAL block = nullptr;
    const int result = CallGetArchiveInfo(input, block);
    // The listing is ours to free, whatever the result said.
    const LockedLocal listing(block && ::LocalFlags(block) != LMEM_INVALID_HANDLE ? block : nullptr);
    if (result == 0 && listing.Data()) {
        Listing.Take(listing, Wide, kind);
        if (Naming == TNaming::kUnknown)
            Naming = Listing.NamesWithSlash() ? TNaming::kSlash : TNaming::kBackslash;
    }
    return result;
}

const TMemberListing* TArchive::ListingWith(const TInput& input) {
    const std::optional<int> result = ListMembers(input);
    if (Listing.From(input.Flag & kSpiInputMask))
        return &Listing;
    if (Canceled())
        return nullptr;
    const bool lists = Wide ? GetArchiveInfoWProc != nullptr : GetArchiveInfoProc != nullptr;
    // Asked before, the answer was no listing either.
    if (!lists || !result || *result == kSpiNoFunction)
        Fail(TFailureKind::kNoListing);
    else
        Fail(TFailureKind::kPluginError, *result);
    return nullptr;
}

bool TArchive::FindInListing(const TInput& input, const std::string& memberPath, TMember& member) {
    ListMembers(input);
    if (!Listing.From(input.Flag & kSpiInputMask))
        return false;
    if (const TListedMember* listed = Listing.Find(memberPath)) {
        member = listed->Member;
        return true;
    }
    std::string ansi;
    return !Wide && !AnsiFromUtf8(memberPath, ansi) && FindLossyForm(memberPath, member);
}

bool TArchive::FindLossyForm(const std::string& memberPath, TMember& member) {
    bool ambiguous = false;
    const TListedMember* found = Listing.FindLossy(memberPath, ambiguous);
    if (ambiguous)
        return Fail(TFailureKind::kAmbiguousName);
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
