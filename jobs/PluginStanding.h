// What the plug-in hosts of this session have made of plug-ins: which they leave out until the
// program quits and which they give copies. The resident program keeps it also where kelvane-extract
// can read it, in a volatile key that goes with the session and that the program empties at its
// start and on its way out.
#pragma once

#include <string>
#include <vector>

enum class TLearnt : unsigned {
    kCrashed = 1,          // left out: it crashed twice
    kHung = 2,             // left out: its loading hung
    kCrashedOnMemory = 3,  // given copies: it crashed with an archive in memory
    kRefusesMemory = 4,    // given copies: it refuses archives in memory
};

struct TPluginStanding {
    std::string Plugin;
    TLearnt Learnt;
    bool operator==(const TPluginStanding&) const = default;
};

bool LeavesOut(TLearnt learnt);

constexpr char kStandingKey[] = "Software\\Ombrik\\Kelvane\\Plug-ins\\Session";

// Replaces what is kept; empty forgets it all.
void KeepStanding(const std::vector<TPluginStanding>& standing);
std::vector<TPluginStanding> KeptStanding();
