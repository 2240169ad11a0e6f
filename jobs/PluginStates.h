// What became of each plug-in file of a folder, as the options dialog and kelvane-extract show it:
// what the file is (asked of a host), whether the settings switch it off, and what the job hosts of
// this session have made of it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/ExtractOutcome.h"
#include "engine/PluginFile.h"
#include "engine/PluginSettings.h"
#include "jobs/PluginStanding.h"

enum class TPluginState { kLoaded, kOff, kLeftOut, kGivenCopies, kNotArchive, kNotLoadable };

struct TPluginRow {
    std::string FileName;
    int Bits = 32;  // as its header says; as its name says when it tells nothing
    TSwitch Switch = TSwitch::kOn;
    std::optional<TLearnt> Learnt;
    bool Answered = false;  // its host has been asked
    TPluginFacts Facts;
    // kPluginCrashed or kPluginHung when it did so while asked, kHostEnded when its host would not run.
    TFailureKind AskFailure = TFailureKind::kNone;

    // Whether a host of 64-bit plug-ins is asked: by the name, as jobs choose.
    bool Wide() const;
    TPluginState State() const;
    // The extension patterns, joined by ";".
    std::string Patterns() const;
};

// One row per *.spi and *.sph file of the folder, in name order; their facts are still to be asked.
std::vector<TPluginRow> PluginRows(const std::string& folder, const std::vector<TPluginStanding>& standing);
