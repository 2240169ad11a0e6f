// One width's part of a job whose levels may need plug-ins of both widths: a plug-in host, or, in
// kelvane-extract, the engine of its own process. A part runs the job from where it is asked to, and
// either ends it or hands on a level for the other width's part to go on from.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "base/Owned.h"
#include "engine/Crossing.h"
#include "engine/ExtractOutcome.h"
#include "host/Messages.h"

class TListingSink;
class TProgress;

// A level a part handed on, for the other width's part to go on from.
struct TLevelHandOver {
    UniqueHandle Section;  // this process's handle to the level's bytes; null for the archive file on disk
    uint64_t Serial = 0;   // names the bytes; without a section, the level the other part kept
    uint32_t Size = 0;
    TCrossing Level;
    std::string Skipped;  // the plug-ins that part left out
};

// What a part made of its share of a job: the outcome, or a level to go on from in the other part.
struct THostResult {
    TExtractOutcome Outcome;
    std::optional<TLevelHandOver> HandOver;
};

class TChainPart {
public:
    virtual ~TChainPart() = default;
    // From the level that section (this process's handle, or null) holds when request names one, and
    // handing on the levels from request.FirstHandOver that no plug-in of this part takes. A request
    // to list gives the members to listing, and only a successful outcome keeps what it gave.
    virtual THostResult Extract(TExtractRequest request, HANDLE section, TProgress* progress, TListingSink* listing) = 0;
};
