#include <algorithm>

#include "base/PathText.h"
#include "base/SystemPath.h"
#include "base/WideText.h"
#include "engine/Archive.h"
#include "engine/OpenForReading.h"
#include "engine/SpiProgress.h"

namespace {

// The member's folder and name as a plug-in of the ANSI family wrote them: its own bytes, which
// the system read in the code page.
std::pair<std::string, std::string> WrittenNames(const TMember& member, bool wide) {
    if (wide)
        return {member.Folder, member.FileName};
    std::string folder;
    std::string name;
    ExactUtf8(WideFromAnsi(FieldText(member.Record.path, sizeof member.Record.path)), folder);
    ExactUtf8(WideFromAnsi(FieldText(member.Record.filename, sizeof member.Record.filename)), name);
    return {folder, name};
}

// Whether a plug-in that writes the member to disk writes it inside the folder it is given: it writes
// where the member's stored name points, and a name that climbs ("..") or starts at a root or a
// drive leads out of it.
bool StaysInFolder(const TMember& member, bool wide) {
    const auto [folder, name] = WrittenNames(member, wide);
    const std::string stored = folder + name;
    if (stored.empty() || stored[0] == '\\' || stored[0] == '/' || stored.find(':') != std::string::npos)
        return false;
    for (size_t start = 0; start <= stored.size();) {
        const size_t end = std::min(stored.find_first_of("\\/", start), stored.size());
        // Windows drops a component's trailing dots and spaces: "..." and ". ." climb too.
        const std::string_view component = std::string_view(stored).substr(start, end - start);
        if (component.find_first_not_of(". ") == std::string_view::npos && std::count(component.begin(), component.end(), '.') >= 2)
            return false;
        start = end + 1;
    }
    return true;
}

// Where a plug-in's disk output went: under the member's folder and name, under its name alone, or
// the one file it wrote.
std::string FindOutput(const std::string& folder, const TMember& member, bool wide) {
    const auto [memberFolder, name] = WrittenNames(member, wide);
    for (const std::string& candidate : {folder + "\\" + memberFolder + name, folder + "\\" + name}) {
        const DWORD attributes = ::GetFileAttributesW(SystemPath(candidate).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return candidate;
    }
    WIN32_FIND_DATAW found;
    UniqueFind search(::FindFirstFileW(SystemPath(folder + "\\*").c_str(), &found));
    std::string only;
    if (!search)
        return only;
    do {
        std::string file;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (!only.empty() || !ExactUtf8(found.cFileName, file))
            return {};
        only = folder + "\\" + file;
    } while (::FindNextFileW(search.Get(), &found));
    return only;
}

// The record's size is pointer-sized, so 32 bits for 32-bit plug-ins: a file that agrees in those bits
// is taken as it is; spare bytes
// after the member are cut off, as they are from a memory block. The size is read without opening
// the file, and a file is opened only to be cut, sharing it: the plug-in may still hold it.
enum class TSizeCheck { kShort, kExact, kTrimmed, kFailed };
TSizeCheck FitToSize(const std::string& file, uintptr_t filesize) {
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!::GetFileAttributesExW(SystemPath(file).c_str(), GetFileExInfoStandard, &attributes))
        return TSizeCheck::kFailed;
    const uint64_t size = (uint64_t{attributes.nFileSizeHigh} << 32) | attributes.nFileSizeLow;
    if (size < filesize)
        return TSizeCheck::kShort;
    if (static_cast<uintptr_t>(size) == filesize)
        return TSizeCheck::kExact;
    UniqueHandle handle(::CreateFileW(SystemPath(file).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER end;
    end.QuadPart = filesize;
    return handle && ::SetFilePointerEx(handle.Get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle.Get())
               ? TSizeCheck::kTrimmed
               : TSizeCheck::kFailed;
}

}  // namespace

TRealArchive::TRealArchive(std::string name, uint64_t size)
    : TArchive(std::move(name), static_cast<uint32_t>(size)) {
    UniqueHandle file(OpenForReading(Name));
    DWORD read = 0;
    if (file && ::ReadFile(file.Get(), HeadBuffer, kHeadSize, &read, nullptr))
        Head = HeadBuffer;
    else
        FailOnFile(TFailureKind::kCannotRead, ::GetLastError(), Name);
}

bool TRealArchive::GetMemberInfo(const std::string& memberPath, TMember& member) {
    return AskMemberInfo(DiskInput(Name, HeadOffset), memberPath, member);
}

const TMemberListing* TRealArchive::Members() {
    return ListingWith(DiskInput(Name, HeadOffset));
}

std::unique_ptr<TArchive> TRealArchive::OpenMember(const TMember& member) {
    // Disk positions are offsets in the file, whatever the probe offset.
    HLOCAL block = AskMember(DiskInput(Name, 0), member);
    return block ? TakeMember(block, member) : nullptr;
}

bool TRealArchive::SaveThroughMemory(const TMember& member, const std::string& destPath) {
    return TFolder::SaveMember(member, destPath);
}

bool TRealArchive::SaveThroughDisk(const TMember& member, const std::string& destPath) {
    // Beside the destination, the finished file is renamed over it. A plug-in of the ANSI family
    // that could not name that folder writes in the temporary folder, and the file is copied over.
    TTemporaryFolder output;
    std::string ansi;
    if (const DWORD error = output.Create(FolderOf(destPath)))
        return FailOnFile(TFailureKind::kCannotWrite, error, destPath);
    const bool beside = AsksWide() || AnsiNameOf(output.Path(), ansi);
    TTemporaryFolder elsewhere;
    if (!beside) {
        if (const DWORD error = elsewhere.Create(UserTemporaryFolder()))
            return FailOnFile(TFailureKind::kCannotWrite, error, destPath);
    }
    const std::string& folder = beside ? output.Path() : elsewhere.Path();
    const TSpiProgress progress(Progress);
    const int result = CallGetFile(Name.c_str(), static_cast<LONG_PTR>(member.Record.position),
                                   const_cast<char*>(folder.c_str()), kSpiInputDisk | kSpiOutputDisk, progress.Data());
    if (result != 0)
        return !SourceUnnamed && Fail(TFailureKind::kPluginError, result);
    const std::string written = FindOutput(folder, member, AsksWide());
    if (written.empty())
        return Fail(TFailureKind::kPluginError, kSpiFileWriteError);
    switch (FitToSize(written, member.Record.filesize)) {
        case TSizeCheck::kShort:
            return Fail(TFailureKind::kShortBlock);
        case TSizeCheck::kFailed:
            return FailOnFile(TFailureKind::kCannotWrite, ::GetLastError(), destPath);
        default:
            break;
    }
    // A plug-in may have gone on after it was asked to stop.
    if (Canceled())
        return false;
    if (!beside) {
        UniqueHandle file(OpenForReading(written));
        const TWin32Result copied = file ? CopyToFile(destPath, written, file.Get()) : TWin32Result{::GetLastError(), true};
        return copied || FailOnFile(TFailureKind::kCannotWrite, copied.Error, destPath);
    }
    const TWin32Result moved = MoveToFile(destPath, written);
    return moved || FailOnFile(TFailureKind::kCannotWrite, moved.Error, destPath);
}

bool TRealArchive::SaveMember(const TMember& member, const std::string& destPath) {
    // Memory output is the usual way, disk output the first for large members; each falls back to
    // the other. A destination that cannot be written is told as such, any other trouble as the
    // memory way met it.
    const bool large = member.Record.filesize > kMemoryOutputLimit;
    if (!large && SaveThroughMemory(member, destPath))
        return true;
    const TFailure inMemory = Failure;
    if (inMemory.Kind == TFailureKind::kCannotWrite || Canceled())
        return false;
    if (!StaysInFolder(member, AsksWide())) {
        if (large && SaveThroughMemory(member, destPath))
            return true;
        return Failure.Kind != TFailureKind::kCannotWrite && !Canceled() && Fail(TFailureKind::kClimbingMember);
    }
    if (SaveThroughDisk(member, destPath))
        return true;
    if (Failure.Kind == TFailureKind::kCannotWrite || Canceled())
        return false;
    if (!large) {
        Failure = inMemory;
        return false;
    }
    return SaveThroughMemory(member, destPath);
}

bool TRealArchive::SaveTo(const std::string& destPath) {
    // Held open, sharing reading only, the file cannot change while it is copied; it is copied as it
    // is then, whatever size it had when it was located.
    UniqueHandle file(OpenForReading(Name));
    if (!file)
        return FailOnFile(TFailureKind::kCannotRead, ::GetLastError(), Name);
    const TWin32Result copied = CopyToFile(destPath, Name, file.Get(), Progress);
    if (copied.Error == ERROR_REQUEST_ABORTED && Canceled())
        return false;
    return copied || FailOnFile(copied.Reading ? TFailureKind::kCannotRead : TFailureKind::kCannotWrite, copied.Error,
                                copied.Reading ? Name : destPath);
}
