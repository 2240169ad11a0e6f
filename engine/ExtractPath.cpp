#include <new>

#include "engine/Archive.h"
#include "engine/JobPaths.h"
#include "engine/PluginList.h"

namespace {

// The head of path that Locate found, when rest holds the components it took off.
std::string LocatedPart(const std::string& path, const std::string& rest) {
    return rest.empty() ? path : path.substr(0, path.size() - rest.size() - 1);
}

// Where the resolver stands: the level it reads, the path left in it, and that level's name.
struct TStep {
    std::unique_ptr<TFolder> Folder;
    std::string Path;
    std::string Container;  // empty for the file system
};

bool Failed(TExtractOutcome& outcome, const TFailure& failure, const std::string& container,
            const std::string& component) {
    outcome.Failure = failure;
    if (outcome.Failure.Kind == TFailureKind::kNone)
        outcome.Failure.Kind = TFailureKind::kInternal;
    // A file that could not be read or written is named alone: it may lie anywhere.
    outcome.Container = failure.File.empty() ? container : std::string();
    outcome.Component = failure.File.empty() ? component : failure.File;
    return false;
}

// One level of the path: locate the longest known prefix, then either write it (the path ends
// here) or take it out and make it the next level. The level left behind is released at once,
// so at most two levels' blocks are ever held.
bool ResolveStep(TStep& step, TPluginList& pluginList, const std::string& destPath, TExtractOutcome& outcome,
                 bool& done) {
    std::string rest;
    fileInfo info;
    if (!step.Folder->Locate(step.Path, rest, info))
        return Failed(outcome, step.Folder->LastFailure(), step.Container, step.Path);
    const std::string located = LocatedPart(step.Path, rest);
    if (rest.empty()) {
        done = true;
        return step.Folder->SaveMember(info, destPath) ||
               Failed(outcome, step.Folder->LastFailure(), step.Container, located);
    }
    std::unique_ptr<TArchive> child = step.Folder->OpenMember(info);
    if (!child)
        return Failed(outcome, step.Folder->LastFailure(), step.Container, located);
    step.Folder.reset();
    if (!child->BindPlugin(pluginList))
        return Failed(outcome, child->LastFailure(), step.Container, located);
    step.Container = child->GetName();
    step.Path = rest;
    step.Folder = std::move(child);
    return true;
}

}  // namespace

TExtractOutcome ExtractPathOutcome(TPluginList& pluginList,
                                   const std::string& sourcePath,
                                   const std::string& destPath) {
    TExtractOutcome outcome;
    if (!JobPathsFit(sourcePath, destPath, outcome))
        return outcome;
    auto extracting = pluginList.LockForExtraction();
    try {
        TStep step{std::make_unique<TRoot>(), sourcePath, {}};
        bool done = false;
        while (ResolveStep(step, pluginList, destPath, outcome, done) && !done) {
        }
    } catch (...) {
        // Objects of the chain are released by unwinding.
        outcome = TExtractOutcome{};
        outcome.Failure.Kind = TFailureKind::kInternal;
        outcome.Component = sourcePath;
    }
    return outcome;
}

bool ExtractPath(TPluginList& pluginList, const std::string& sourcePath, const std::string& destPath) {
    return ExtractPathOutcome(pluginList, sourcePath, destPath).Succeeded();
}
