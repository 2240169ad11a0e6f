#include <algorithm>
#include <new>

#include "engine/Archive.h"
#include "engine/Crossing.h"
#include "engine/JobPaths.h"
#include "engine/KeptChain.h"
#include "engine/LevelProgress.h"
#include "engine/ListingSink.h"
#include "engine/PluginList.h"

namespace {

// The head of path that Locate found, when rest holds the components it took off.
std::string LocatedPart(const std::string& path, const std::string& rest) {
    return rest.empty() ? path : path.substr(0, path.size() - rest.size() - 1);
}

constexpr size_t kNotKept = ~size_t{0};

// What the path is resolved for: a member written to Dest, or a level's members given to Listing.
struct TTarget {
    const std::string& Dest;
    TListingSink* Listing;
};

// Where the resolver stands: the level it reads, the path left in it, and that level's name.
struct TStep {
    std::unique_ptr<TFolder> Owned;  // the level, unless the kept chain holds it
    TFolder* Folder = nullptr;
    std::string Path;
    std::string Container;   // empty for the file system
    int Archives = 0;        // how many archives are open on the way to this one
    size_t Kept = kNotKept;  // the level's place in the kept chain
    std::string KeptFirst;   // the kept chain's first level as this job spells it
    TFailure Unlisted;       // why the level gave a listing no members, when it gave none
};

// A kept level's name as this job spells the chain's first level, so that failures read as from the
// disk.
std::string Respelled(const TStep& step, const TKeptChain& kept, size_t index) {
    return step.KeptFirst + kept.Name(index).substr(kept.Name(0).size());
}

// The place in the kept chain of the member that located names, when its parent is kept too; the levels
// after a kept parent that are not that member go. Only a level taken out for the same component is that
// member: the plug-in answers the same question with the same member, from the disk as from the chain.
size_t KeptMember(const TStep& step, TKeptChain* kept, const std::string& located) {
    if (!kept || step.Kept == kNotKept)
        return kNotKept;
    const size_t inner = step.Kept + 1;
    if (inner < kept->Count() && kept->TakenOutFor(inner, located))
        return inner;
    kept->Cut(inner);
    return kNotKept;
}

TFailure CanceledFailure(const std::string& plugin = {}) {
    TFailure failure;
    failure.Kind = TFailureKind::kCanceled;
    failure.Plugin = plugin;
    return failure;
}

bool Failed(TExtractOutcome& outcome,
            const TFailure& failure,
            const std::string& container,
            const std::string& component) {
    outcome.Failure = failure;
    if (outcome.Failure.Kind == TFailureKind::kNone)
        outcome.Failure.Kind = TFailureKind::kInternal;
    // A file that could not be read or written is named alone: it may lie anywhere.
    outcome.Container = failure.File.empty() ? container : std::string();
    outcome.Component = failure.File.empty() ? component : failure.File;
    return false;
}

bool MayHandOn(const TCrossingOut* out, int level) {
    return out && out->FirstLevel != 0 && level >= out->FirstLevel;
}

// Hands a level that no plug-in of this process takes to the other side, where that may take it;
// the failure is the level's own when that is not allowed, or why the handing on failed. After a kept
// parent the hand-over is kept as well: the next job under it goes on without taking the level out.
bool HandedOn(const TArchive& child,
              const TStep& step,
              const std::string& located,
              const std::string& rest,
              TKeptChain* kept,
              TCrossingOut* out,
              TExtractOutcome& outcome) {
    const int level = step.Archives + 1;
    if (!MayHandOn(out, level) || child.LastFailure().Kind != TFailureKind::kNoPlugin)
        return Failed(outcome, child.LastFailure(), step.Container, located);
    if (!out->Take(TCrossing{child.GetName(), step.Container, located, rest, level}, child.Image(), child.GetSize()))
        return Failed(outcome, out->Failure, step.Container, located);
    if (child.Image() && kept && step.Kept != kNotKept)
        kept->KeepHandedOn(child.GetName(), out->Serial, located);
    return true;
}

// A level handed on before from the kept chain's place index goes on without its bytes, when the
// other side may still keep them; false, with nothing done, when it may not.
bool HandedOnKept(const TStep& step,
                  size_t index,
                  const std::string& located,
                  const std::string& rest,
                  TKeptChain& kept,
                  TCrossingOut* out,
                  TExtractOutcome& outcome,
                  bool& done) {
    const int level = step.Archives + 1;
    const uint64_t serial = kept.HandedOn(index);
    if (!MayHandOn(out, level) || !out->MayHandOnKept(serial))
        return false;
    done = true;
    if (!out->TakeKept(TCrossing{Respelled(step, kept, index), step.Container, located, rest, level}, serial))
        Failed(outcome, out->Failure, step.Container, located);
    return true;
}

// Where name goes on past its first components, which end in "\\"; npos when it has fewer.
size_t AfterComponents(const std::string& name, size_t components) {
    size_t next = 0;
    for (; components > 0; --components) {
        const size_t separator = name.find('\\', next);
        if (separator == std::string::npos)
            return separator;
        next = separator + 1;
    }
    return next;
}

// Whether a member lies below the folder that head (folded, with its separator) names: a folder's
// own record, named as the folder, is not below it.
bool LiesBelow(const TListedMember& listed, const std::string& head) {
    return listed.FoldedPath.size() > head.size() && listed.FoldedPath.compare(0, head.size(), head) == 0;
}

// Gives the members below folder (empty: the whole level) to sink, named from there. The listing
// names them as the plug-in did, with "/" or "\"; they go on with "\".
void ListBelow(const TMemberListing& members, const std::string& folder, const std::string& plugin, TListingSink& sink) {
    const std::string head = folder.empty() ? std::string() : FoldedName(folder) + '\\';
    size_t components = 0;
    for (const char c : head)
        components += c == '\\';
    sink.Begin(plugin);
    std::string name;  // one buffer for every member's name
    for (const TListedMember& listed : head.empty() ? members.Members() : members.Folded()) {
        if (!head.empty() && !LiesBelow(listed, head))
            continue;
        name.assign(listed.Member.Folder).append(listed.Member.FileName);
        std::replace(name.begin(), name.end(), '/', '\\');
        const fileInfo& record = listed.Member.Record;
        sink.Add(std::string_view(name).substr(std::min(name.size(), AfterComponents(name, components))),
                 record.filesize, static_cast<int64_t>(record.timestamp));
    }
}

// A listing ends in the level when the path left in it is empty, or names a folder there: members lie
// below it. False, with done clear, when the path goes on into a member instead.
bool ListedHere(TStep& step, TListingSink& sink, TExtractOutcome& outcome, bool& done) {
    const TMemberListing* members = step.Folder->Members();
    // Every failure of a bound level names its plug-in.
    const TFailure& failure = step.Folder->LastFailure();
    step.Unlisted = members ? TFailure{} : failure;
    if (!members && (step.Path.empty() || failure.Kind == TFailureKind::kCanceled)) {
        done = true;
        return Failed(outcome, failure, {}, step.Container);
    }
    if (!step.Path.empty()) {
        const std::string head = FoldedName(step.Path) + '\\';
        if (!members || std::none_of(members->Folded().begin(), members->Folded().end(),
                                     [&](const TListedMember& m) { return LiesBelow(m, head); }))
            return false;
    }
    done = true;
    ListBelow(*members, step.Path, failure.Plugin, sink);
    return true;
}

// One level of the path: locate the longest known prefix, then either write it (the path ends
// here) or take it out and make it the next level. The level left behind is released at once,
// so at most two levels' blocks are ever held beside what a kept chain holds within its budget.
// A level is the taking out of one member: the n-th archive on the way is level n. A plain file on
// disk is one level, its copy.
bool ResolveStep(TStep& step,
                 TPluginList& pluginList,
                 const TTarget& target,
                 TLevelProgress& progress,
                 TKeptChain* kept,
                 TCrossingOut* out,
                 TExtractOutcome& outcome,
                 bool& done) {
    if (progress.Canceled())
        return Failed(outcome, CanceledFailure(), step.Container, step.Path);
    const int level = step.Archives;
    if (level > 0)
        progress.Enter(level, step.Path);
    step.Folder->SetProgress(&progress);
    if (target.Listing && level > 0 && ListedHere(step, *target.Listing, outcome, done))
        return true;
    if (done)
        return false;
    std::string rest;
    TMember member;
    if (!step.Folder->Locate(step.Path, rest, member)) {
        // Without a listing no folder of the level can be told: that, not "not found", is the reason.
        const bool unlisted = target.Listing && step.Unlisted.Kind == TFailureKind::kNoListing &&
                              step.Folder->LastFailure().Kind == TFailureKind::kNotFound;
        return Failed(outcome, unlisted ? step.Unlisted : step.Folder->LastFailure(), step.Container, step.Path);
    }
    const std::string located = LocatedPart(step.Path, rest);
    progress.Located(rest);
    // A listing goes on into the member the path ends at, as into an archive.
    if (rest.empty() && !target.Listing) {
        done = true;
        if (level == 0)
            progress.Enter(1, {});
        if (!step.Folder->SaveMember(member, target.Dest))
            return Failed(outcome, step.Folder->LastFailure(), step.Container, located);
        progress.Advance(1);
        return true;
    }
    const size_t reused = KeptMember(step, kept, located);
    if (reused != kNotKept && !kept->Level(reused)) {
        if (HandedOnKept(step, reused, located, rest, *kept, out, outcome, done)) {
            if (level > 0)
                progress.Advance(1);
            return outcome.Succeeded();
        }
        kept->Cut(reused);
    } else if (reused != kNotKept) {
        if (level > 0)
            progress.Advance(1);
        step.Path = rest;
        step.Folder = kept->Level(reused);
        step.Kept = reused;
        step.Container = Respelled(step, *kept, step.Kept);
        ++step.Archives;
        return true;
    }
    // Read before anything of the file is, so that a chain never holds more than it knows of.
    TFileIdentity identity;
    const bool startsChain = kept && level == 0 && TFileIdentity::Read(located, identity);
    std::unique_ptr<TArchive> child = step.Folder->OpenMember(member);
    if (!child)
        return Failed(outcome, step.Folder->LastFailure(), step.Container, located);
    if (level > 0)
        progress.Advance(1);
    // A kept parent stays; any other goes before its child is probed.
    step.Owned.reset();
    if (!child->BindPlugin(pluginList)) {
        done = HandedOn(*child, step, located, rest, kept, out, outcome);
        return done;
    }
    step.Container = child->GetName();
    step.Path = rest;
    ++step.Archives;
    if (startsChain) {
        kept->Start(child, identity);
        step.KeptFirst = step.Container;
    } else if (kept && step.Kept != kNotKept) {
        kept->Keep(child, child->GetSize(), located);
    }
    if (child) {
        step.Owned = std::move(child);
        step.Folder = step.Owned.get();
        step.Kept = kNotKept;
    } else {
        step.Kept = kept->Count() - 1;
        step.Folder = kept->Level(step.Kept);
    }
    return true;
}

// The level the other side handed on, bound to a plug-in of this process, and kept for the next job
// under it; or the one kept from an earlier hand-over, which the other side names again.
bool Enter(TStep& step, TPluginList& pluginList, TCrossingIn& from, TKeptChain* kept, TExtractOutcome& outcome) {
    const TCrossing& level = from.Level;
    if (from.Image) {
        std::unique_ptr<TArchive> entry =
            std::make_unique<TVirtualArchive>(level.Name, from.Size, std::move(from.Image));
        if (kept)
            kept->Release();
        if (!entry->BindPlugin(pluginList))
            return Failed(outcome, entry->LastFailure(), level.Container, level.Member);
        if (kept && from.Serial)
            kept->Enter(entry, from.Serial, from.Size);
        step.Owned = std::move(entry);
    } else if (!kept || !kept->ServesEntered(from.Serial)) {
        TFailure gone;
        gone.Kind = TFailureKind::kNotKept;
        return Failed(outcome, gone, level.Container, level.Member);
    }
    if (step.Owned) {
        step.Folder = step.Owned.get();
    } else {
        step.Folder = kept->Level(0);
        step.Kept = 0;
        step.KeptFirst = level.Name;
    }
    step.Path = level.Rest;
    step.Container = level.Name;
    step.Archives = level.Level;
    return true;
}

TExtractOutcome Resolve(TPluginList& pluginList,
                        const std::string& sourcePath,
                        const TTarget& target,
                        TProgress* progress,
                        TKeptChain* kept,
                        TCrossingIn* from,
                        TCrossingOut* out) {
    TExtractOutcome outcome;
    if (target.Listing ? !SourceFits(sourcePath, outcome) : !JobPathsFit(sourcePath, target.Dest, outcome))
        return outcome;
    auto extracting = pluginList.LockForExtraction();
    try {
        TLevelProgress levels(progress);
        TStep step;
        bool resolving = true;
        if (from) {
            // A chain handed on starts inside: kept is the chain entered there, apart from jobs' from disk.
            resolving = Enter(step, pluginList, *from, kept, outcome);
        } else if (kept && kept->Serves(sourcePath, target.Listing != nullptr)) {
            const size_t outer = kept->Name(0).size();
            step.Folder = kept->Level(0);
            step.Kept = 0;
            step.Path = sourcePath.size() > outer ? sourcePath.substr(outer + 1) : std::string();
            step.Container = sourcePath.substr(0, outer);
            step.KeptFirst = step.Container;
            step.Archives = 1;
        } else {
            step.Owned = std::make_unique<TRoot>();
            step.Folder = step.Owned.get();
            step.Path = sourcePath;
        }
        bool done = false;
        while (resolving && ResolveStep(step, pluginList, target, levels, kept, out, outcome, done) && !done) {
        }
        if (kept)
            kept->Detach();
        // Whatever failed once the user asked to stop is the stop: a plug-in that answers 1
        // ("canceled") or any other code, a copy cut short.
        if (!outcome.Succeeded() && levels.Canceled()) {
            outcome.Failure = CanceledFailure(outcome.Failure.Plugin);
            outcome.Component = sourcePath;
            outcome.Container.clear();
        }
    } catch (...) {
        // Objects of the chain are released by unwinding; a kept chain may be half made.
        if (kept)
            kept->Release();
        outcome = TExtractOutcome{};
        outcome.Failure.Kind = TFailureKind::kInternal;
        outcome.Component = sourcePath;
    }
    return outcome;
}

}  // namespace

TExtractOutcome ExtractPathOutcome(TPluginList& pluginList,
                                   const std::string& sourcePath,
                                   const std::string& destPath,
                                   TProgress* progress,
                                   TKeptChain* kept,
                                   TCrossingIn* from,
                                   TCrossingOut* out) {
    return Resolve(pluginList, sourcePath, TTarget{destPath, nullptr}, progress, kept, from, out);
}

TExtractOutcome ListPathOutcome(TPluginList& pluginList,
                                const std::string& sourcePath,
                                TListingSink& sink,
                                TProgress* progress,
                                TKeptChain* kept,
                                TCrossingIn* from,
                                TCrossingOut* out) {
    const std::string none;
    return Resolve(pluginList, sourcePath, TTarget{none, &sink}, progress, kept, from, out);
}

bool ExtractPath(TPluginList& pluginList, const std::string& sourcePath, const std::string& destPath) {
    return ExtractPathOutcome(pluginList, sourcePath, destPath).Succeeded();
}
