// The narrow part of a job run in this process instead of in KelvaneHost.exe: kelvane-extract reads the
// levels of its own width itself, as fast as the bare plug-in calls, and starts the 64-bit host only
// for a level that needs a *.sph. A crash then ends this process, as it does without any *.sph.
#pragma once

#include "engine/KeptChain.h"
#include "engine/Temporary.h"
#include "jobs/ChainPart.h"

class TPluginList;

class TInProcessPart final : public TChainPart {
public:
    // kept: the levels kept between jobs; null for none.
    TInProcessPart(TPluginList& plugins, TKeptChain* kept) : Plugins(plugins), Kept(kept) {}

    THostResult Extract(TExtractRequest request, HANDLE section, TProgress* progress, TListingSink* listing) override;

private:
    TPluginList& Plugins;
    TKeptChain* Kept;
    TKeptChain Entered;  // the levels of jobs that went on from one the 64-bit host handed on, kept with Kept
    TLevelFile File;     // where levels for the other width are written
};
