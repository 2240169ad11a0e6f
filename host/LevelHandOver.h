// A level of a job that crosses between the plug-in hosts of the two widths, as a host sees it: the
// level it hands on, written into its level file, and the level it starts from, mapped from the
// section the resident program put into it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "base/Owned.h"
#include "engine/Crossing.h"
#include "engine/Temporary.h"
#include "host/Channel.h"
#include "host/Messages.h"

class TKeptChain;
class TListingSink;
class TPluginList;
class TProgress;

// A level that no plug-in here takes, for the other width's host: its bytes go into the host's level
// file, and a handle to its section, which the resident program takes out of this process (closing
// it here), goes with the message. The other host may keep its view of the level for later jobs, under
// the serial of the bytes: it is named that level again only while no later one has been written over
// it, and it maps copy-on-write, so its own writes never reach the file.
class TSectionHandOver final : public TCrossingOut {
public:
    // afresh: every level goes on with its bytes, none as one the other host keeps.
    TSectionHandOver(int firstLevel, bool afresh, const TPluginList& plugins, TLevelFile& file)
        : TCrossingOut(firstLevel), Afresh(afresh), Plugins(plugins), File(file) {}

    bool Take(const TCrossing& level, const unsigned char* image, uint32_t size) override;
    bool MayHandOnKept(uint64_t serial) const override { return !Afresh && serial && serial == File.Serial(); }
    bool TakeKept(const TCrossing& level, uint64_t serial) override;
    // Sends the hand-over, if the job made one; the section is the resident program's from then on.
    bool SendTo(TChannelEnd& channel);
    // The hand-over, if the job made one, for this process to pass on itself: its section is the
    // caller's to close.
    THandOver TakeHere();
    bool Taken() const { return !Message.empty(); }

private:
    bool Encode(const THandOver& handOver);

    const bool Afresh;
    const TPluginList& Plugins;
    TLevelFile& File;
    THandOver Made;
    std::vector<char> Message;
    UniqueHandle Section;
};

// The level a request goes on from: the section the resident program put into this process, mapped
// copy-on-write (some plug-ins write into their input) and closed, the view holding it; none when
// the request names no section of this process or it cannot be mapped. A request that names a kept
// level by its serial alone gets no view.
std::optional<TCrossingIn> HandedLevel(const TExtractRequest& request);

// How a job fails whose level handed on cannot be read.
TExtractOutcome LevelUnreadable(const TExtractRequest& request);

// One width's part of a job: from the level the request's section holds, or the one kept in entered
// that its serial names, if it names one, and handing on to handOver the levels that no plug-in here
// takes. kept: the chain of jobs from the start; entered: that of jobs from a level handed on. A
// request to list gives the members to listing.
TExtractOutcome ExtractRequested(TPluginList& plugins,
                                 const TExtractRequest& request,
                                 TProgress* progress,
                                 TKeptChain* kept,
                                 TKeptChain* entered,
                                 TSectionHandOver& handOver,
                                 TListingSink* listing);
