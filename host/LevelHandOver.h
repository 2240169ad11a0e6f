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
class TPluginList;
class TProgress;

// A level that no plug-in here takes, for the other width's host: its bytes go into the host's level
// file, and a handle to its section, which the resident program takes out of this process (closing
// it here), goes with the message. Jobs run one at a time, and the other host lets a level go
// before it answers, so the file is free again when the next level is written.
class TSectionHandOver final : public TCrossingOut {
public:
    TSectionHandOver(int firstLevel, const TPluginList& plugins, TLevelFile& file)
        : TCrossingOut(firstLevel), Plugins(plugins), File(file) {}

    bool Take(const TCrossing& level, const unsigned char* image, uint32_t size) override;
    // Sends the hand-over, if the job made one; the section is the resident program's from then on.
    bool SendTo(TChannelEnd& channel);
    // The hand-over, if the job made one, for this process to pass on itself: its section is the
    // caller's to close.
    THandOver TakeHere();
    bool Taken() const { return !Message.empty(); }

private:
    const TPluginList& Plugins;
    TLevelFile& File;
    THandOver Made;
    std::vector<char> Message;
    UniqueHandle Section;
};

// The level a request goes on from: the section the resident program put into this process, mapped
// copy-on-write (some plug-ins write into their input) and closed, the view holding it; none when
// the request names no section of this process or it cannot be mapped.
std::optional<TCrossingIn> HandedLevel(const TExtractRequest& request);

// How a job fails whose level handed on cannot be read.
TExtractOutcome LevelUnreadable(const TExtractRequest& request);

// One width's part of a job: from the level the request's section holds, if it names one, and handing
// on to handOver the levels that no plug-in here takes.
TExtractOutcome ExtractRequested(TPluginList& plugins,
                                 const TExtractRequest& request,
                                 TProgress* progress,
                                 TKeptChain* kept,
                                 TSectionHandOver& handOver);
