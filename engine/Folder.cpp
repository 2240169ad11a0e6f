#include "engine/Archive.h"

#include "base/PathText.h"
#include "engine/LevelProgress.h"

bool TFolder::Locate(const std::string& path, std::string& rest, fileInfo& info) {
    std::string prefix = path;
    rest.clear();
    if (Test(prefix, info))
        return true;
    SplitLastComponent(prefix, rest);
    for (;;) {
        if (Test(prefix, info))
            return true;
        std::string tail;
        SplitLastComponent(prefix, tail);
        rest = tail + "\\" + rest;
        if (prefix.empty())
            return false;
    }
}

bool TFolder::SaveMember(const fileInfo& info, const std::string& destPath) {
    std::unique_ptr<TArchive> member = OpenMember(info);
    if (!member)
        return false;
    member->SetProgress(Progress);
    if (member->SaveTo(destPath))
        return true;
    Failure = member->LastFailure();
    return false;
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
