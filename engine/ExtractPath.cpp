#include <new>

#include "engine/Archive.h"
#include "engine/JobPaths.h"
#include "engine/LevelProgress.h"
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
    int Archives = 0;       // how many archives are open on the way to this one
};

TFailure CanceledFailure(const std::string& plugin = {}) {
    TFailure failure;
    failure.Kind = TFailureKind::kCanceled;
    failure.Plugin = plugin;
    return failure;
}

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
// so at most two levels' blocks are ever held. For progress, the member taken out of the n-th
// archive on the way is level n; a plain file on disk is one level, its copy.
bool ResolveStep(TStep& step, TPluginList& pluginList, const std::string& destPath, TLevelProgress& progress,
                 TExtractOutcome& outcome, bool& done) {
    if (progress.Canceled())
        return Failed(outcome, CanceledFailure(), step.Container, step.Path);
    const int level = step.Archives;
    if (level > 0)
        progress.Enter(level, step.Path);
    step.Folder->SetProgress(&progress);
    std::string rest;
    fileInfo info;
    if (!step.Folder->Locate(step.Path, rest, info))
        return Failed(outcome, step.Folder->LastFailure(), step.Container, step.Path);
    const std::string located = LocatedPart(step.Path, rest);
    progress.Located(rest);
    if (rest.empty()) {
        done = true;
        if (level == 0)
            progress.Enter(1, {});
        if (!step.Folder->SaveMember(info, destPath))
            return Failed(outcome, step.Folder->LastFailure(), step.Container, located);
        progress.Advance(1);
        return true;
    }
    std::unique_ptr<TArchive> child = step.Folder->OpenMember(info);
    if (!child)
        return Failed(outcome, step.Folder->LastFailure(), step.Container, located);
    if (level > 0)
        progress.Advance(1);
    step.Folder.reset();
    if (!child->BindPlugin(pluginList))
        return Failed(outcome, child->LastFailure(), step.Container, located);
    step.Container = child->GetName();
    step.Path = rest;
    step.Folder = std::move(child);
    ++step.Archives;
    return true;
}

}  // namespace

TExtractOutcome ExtractPathOutcome(TPluginList& pluginList,
                                   const std::string& sourcePath,
                                   const std::string& destPath,
                                   TProgress* progress) {
    TExtractOutcome outcome;
    if (!JobPathsFit(sourcePath, destPath, outcome))
        return outcome;
    auto extracting = pluginList.LockForExtraction();
    try {
        TLevelProgress levels(progress);
        TStep step{std::make_unique<TRoot>(), sourcePath, {}};
        bool done = false;
        while (ResolveStep(step, pluginList, destPath, levels, outcome, done) && !done) {
        }
        // Whatever failed once the user asked to stop is the stop: a plug-in that answers 1
        // ("canceled") or any other code, a copy cut short.
        if (!outcome.Succeeded() && levels.Canceled()) {
            outcome.Failure = CanceledFailure(outcome.Failure.Plugin);
            outcome.Component = sourcePath;
            outcome.Container.clear();
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
