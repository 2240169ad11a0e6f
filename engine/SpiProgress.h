// The progress callback that every GetFile gets, as real plug-ins expect one. Plug-ins hand lData back
// as they got it. 32-bit plug-ins take a long, so lData never carries a pointer: it is the
// number of a registration, the same in both widths, looked up on every call. A value that names nothing (a plug-in's own,
// or a call after GetFile returned) is answered 0 and touches nothing; so is every call while nobody
// listens.
#pragma once

#include "engine/SpiTypes.h"

class TLevelProgress;

// Registers a level for as long as one GetFile call lasts.
class TSpiProgress {
public:
    // A null level registers nothing: the callback then always answers 0.
    explicit TSpiProgress(TLevelProgress* level);
    ~TSpiProgress();
    TSpiProgress(const TSpiProgress&) = delete;
    TSpiProgress& operator=(const TSpiProgress&) = delete;

    // Reports num of denom of the level's work, clamped (denom <= 0 tells nothing); non-zero asks the
    // plug-in to stop.
    static int WINAPI Callback(int num, int denom, LONG_PTR data);
    LONG_PTR Data() const { return Id; }

private:
    long Id = 0;
};
