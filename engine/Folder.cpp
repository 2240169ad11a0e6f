#include "engine/Archive.h"

#include "base/PathText.h"
#include "engine/LevelProgress.h"

bool TFolder::Locate(const std::string& path, std::string& rest, TMember& member) {
    std::string prefix = path;
    rest.clear();
    if (Test(prefix, member))
        return true;
    SplitLastComponent(prefix, rest);
    for (;;) {
        // A name that could be more than one member is not made a shorter one.
        if (Failure.Kind == TFailureKind::kAmbiguousName)
            return false;
        if (Test(prefix, member))
            return true;
        std::string tail;
        SplitLastComponent(prefix, tail);
        rest = tail + "\\" + rest;
        if (prefix.empty())
            return false;
    }
}

bool TFolder::SaveMember(const TMember& member, const std::string& destPath) {
    std::unique_ptr<TArchive> taken = OpenMember(member);
    if (!taken)
        return false;
    taken->SetProgress(Progress);
    if (taken->SaveTo(destPath))
        return true;
    Failure = taken->LastFailure();
    return false;
}

const TMemberListing* TFolder::Members() {
    Fail(TFailureKind::kNoListing);
    return nullptr;
}

bool TFolder::Fail(TFailureKind kind, int pluginCode) {
    Failure.Kind = kind;
    Failure.PluginCode = pluginCode;
    Failure.Win32Error = ERROR_SUCCESS;
    Failure.File.clear();
    return false;
}

bool TFolder::Canceled() {
    if (!Progress || !Progress->Canceled())
        return false;
    Fail(TFailureKind::kCanceled);
    return true;
}

bool TFolder::FailOnFile(TFailureKind kind, DWORD error, const std::string& file) {
    // Whatever the file was for, a path beyond Windows' limit is the reason to tell.
    Fail(error == ERROR_FILENAME_EXCED_RANGE ? TFailureKind::kDiskPathTooLong : kind);
    Failure.Win32Error = error;
    Failure.File = file;
    return false;
}
