#include "host/LevelHandOver.h"

#include <algorithm>

#include "base/ChildProcess.h"
#include "engine/Archive.h"
#include "engine/KeptChain.h"
#include "engine/PluginList.h"

bool TSectionHandOver::Take(const TCrossing& level, const unsigned char* image, uint32_t size) {
    UniqueHandle section;
    if (image) {
        DWORD error = 0;
        HANDLE written = File.Write(image, size, TArchive::kHeadSize, error);
        HANDLE copy = nullptr;
        if (written && !::DuplicateHandle(::GetCurrentProcess(), written, ::GetCurrentProcess(), &copy, 0, FALSE,
                                          DUPLICATE_SAME_ACCESS))
            error = ::GetLastError();
        section.Reset(copy);
        if (!section) {
            Failure.Kind = TFailureKind::kCannotWrite;
            Failure.Win32Error = error;
            Failure.File = UserTemporaryFolder();
            return false;
        }
    }
    const uint64_t serial = section ? File.Serial() : 0;
    if (!Encode({reinterpret_cast<uintptr_t>(section.Get()), serial, size, level, Plugins.SkippedText()}))
        return false;
    Serial = serial;
    Section = std::move(section);
    return true;
}

bool TSectionHandOver::TakeKept(const TCrossing& level, uint64_t serial) {
    return Encode({0, serial, 0, level, Plugins.SkippedText()});
}

bool TSectionHandOver::Encode(const THandOver& handOver) {
    Made = handOver;
    Message = EncodeHandOver(Made);
    if (Message.empty())
        Failure.Kind = TFailureKind::kPathTooLong;
    return !Message.empty();
}

bool TSectionHandOver::SendTo(TChannelEnd& channel) {
    if (!channel.Send(TMessageKind::kHandOver, Message))
        return false;
    Section.Release();
    return true;
}

THandOver TSectionHandOver::TakeHere() {
    Section.Release();
    return std::move(Made);
}

std::optional<TCrossingIn> HandedLevel(const TExtractRequest& request) {
    TCrossingIn level{request.Level, {}, request.Size, request.Serial};
    if (!request.Section)
        return level;
    UniqueHandle section(HandleOfValue(request.Section));
    const DWORD bytes = std::max(request.Size, TArchive::kHeadSize);
    level.Image.Reset(section ? ::MapViewOfFile(section.Get(), FILE_MAP_COPY, 0, 0, bytes) : nullptr);
    if (!level.Image)
        return std::nullopt;
    return level;
}

TExtractOutcome LevelUnreadable(const TExtractRequest& request) {
    TExtractOutcome failed;
    failed.Failure.Kind = TFailureKind::kInternal;
    failed.Container = request.Level.Container;
    failed.Component = request.Level.Member;
    return failed;
}

TExtractOutcome ExtractRequested(TPluginList& plugins,
                                 const TExtractRequest& request,
                                 TProgress* progress,
                                 TKeptChain* kept,
                                 TKeptChain* entered,
                                 TSectionHandOver& handOver,
                                 TListingSink* listing) {
    const auto resolve = [&](TKeptChain* chain, TCrossingIn* from) {
        return request.List && listing
                   ? ListPathOutcome(plugins, request.Source, *listing, progress, chain, from, &handOver)
                   : ExtractPathOutcome(plugins, request.Source, request.Destination, progress, chain, from, &handOver);
    };
    if (!request.Section && !request.Serial)
        return resolve(kept, nullptr);
    // A new level's bytes replace the old one's: no two are held at once.
    if (request.Section && entered)
        entered->Release();
    std::optional<TCrossingIn> level = HandedLevel(request);
    if (!level)
        return LevelUnreadable(request);
    return resolve(entered, &*level);
}
