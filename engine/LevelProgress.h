// How far one extraction has come, told to a TProgress that may be null.
//
// The path is resolved level by level, so the number of levels is learned on the way. A level is the
// taking out of one member (or the copy of a plain file); each level still ahead takes at least one
// component of the path left after the part the current level located. So the current level plus
// those components is an upper bound, exact once the path left is empty, that is at the last level.
// The level shown only rises, the total only falls, and a level's fraction only rises, whatever the
// plug-ins report.
#pragma once

#include <string_view>

class TProgress;

class TLevelProgress {
public:
    explicit TLevelProgress(TProgress* sink) : Sink(sink) {}
    TLevelProgress(const TLevelProgress&) = delete;
    TLevelProgress& operator=(const TLevelProgress&) = delete;

    // Work on `level` begins; `path` is what is left to resolve, of which the level takes a part.
    void Enter(int level, std::string_view path);
    // The current level has located its part; `rest` is what is left after it.
    void Located(std::string_view rest);
    // The current level's fraction: clamped into [0, 1]; a value below what was shown is dropped.
    void Advance(double fraction);
    bool Canceled() const;

private:
    void Tell();

    TProgress* Sink;
    int Level = 0;
    int Total = 0;
    double Fraction = 0;
};
