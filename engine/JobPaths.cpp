#include "engine/JobPaths.h"

#include <windows.h>

#include "base/WideText.h"
#include "engine/DestinationName.h"

bool FitsWindowsPath(const std::string& path) {
    if (path.size() < MAX_PATH)
        return true;
    // No path past the bound is that few characters; below it, its length is an int.
    if (path.size() > kMaxJobPath)
        return false;
    // The limit counts the characters the path becomes for Windows' wide functions.
    const int characters = ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    return characters > 0 && characters < MAX_PATH;
}

bool SourceFits(const std::string& source, TExtractOutcome& outcome) {
    outcome = TExtractOutcome{};
    if (source.size() > kMaxJobPath) {
        outcome.Failure.Kind = TFailureKind::kPathTooLong;
        outcome.Component = source;
    }
    return outcome.Succeeded();
}

bool JobPathsFit(const std::string& source, const std::string& destination, TExtractOutcome& outcome) {
    if (!SourceFits(source, outcome))
        return false;
    // The destination is written through the \\?\ form: any path Windows takes at all will do.
    if (destination.size() > kMaxJobPath || WideFromUtf8(destination).size() >= kMaxWindowsPath) {
        outcome.Failure.Kind = TFailureKind::kDiskPathTooLong;
        outcome.Component = destination;
    } else if (!LiesDirectlyInFolder(destination)) {
        // Checked before anything is written: the name may come from an archive or another process.
        outcome.Failure.Kind = TFailureKind::kUnusableName;
        outcome.Component = destination;
    }
    return outcome.Succeeded();
}
