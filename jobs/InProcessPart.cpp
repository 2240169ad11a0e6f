#include "jobs/InProcessPart.h"

#include "base/ChildProcess.h"
#include "host/LevelHandOver.h"

THostResult TInProcessPart::Extract(TExtractRequest request,
                                    HANDLE section,
                                    TProgress* progress,
                                    TListingSink* listing) {
    request.List = listing != nullptr;
    // The request's section is the reader's own to close, as a host's is.
    if (section) {
        HANDLE own = nullptr;
        if (!::DuplicateHandle(::GetCurrentProcess(), section, ::GetCurrentProcess(), &own, 0, FALSE,
                               DUPLICATE_SAME_ACCESS))
            return {LevelUnreadable(request), std::nullopt};
        request.Section = reinterpret_cast<uintptr_t>(own);
    }
    TSectionHandOver handOver(static_cast<int>(request.FirstHandOver), request.Afresh, Plugins, File);
    THostResult result{ExtractRequested(Plugins, request, progress, Kept, Kept ? &Entered : nullptr, handOver, listing),
                       std::nullopt};
    if (result.Outcome.Succeeded() && handOver.Taken()) {
        THandOver made = handOver.TakeHere();
        result.HandOver = TLevelHandOver{UniqueHandle(HandleOfValue(made.Section)), made.Serial, made.Size,
                                         std::move(made.Level), std::move(made.Skipped)};
    }
    return result;
}
