// Which plug-in the host is inside, kept in the memory of the channel that only the host and the
// resident program share, so that it can still be read once the host died.
#pragma once

#include <windows.h>

#include <string>

#include "engine/PluginActivity.h"

struct TCallStatus {
    volatile LONG Inside;  // nonzero while a plug-in runs: 2 while it was given an archive in memory
    char Plugin[MAX_PATH];
};

// The host's side: every call into a plug-in is noted before it starts.
class TCallStatusWriter final : public TPluginActivity {
public:
    explicit TCallStatusWriter(TCallStatus* status) : Status(status) {}
    void Calling(const std::string& plugin, bool memoryInput) noexcept override;

private:
    TCallStatus* Status;
};

// The resident program's side: the plug-in being called, or empty; never reads past the block,
// and reads it once. Read it after the host has stopped.
std::string PluginInside(const TCallStatus& status);
// Whether that call gave the plug-in an archive in memory.
bool InsideWithMemoryInput(const TCallStatus& status);
