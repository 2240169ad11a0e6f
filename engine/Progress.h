// What an extraction tells its caller while it runs, and how the caller stops it.
#pragma once

class TProgress {
public:
    virtual ~TProgress() = default;
    // Level `level` (from 1) of `levels` is `fraction` (0 to 1) done. Called often, from inside
    // plug-ins too: it must be cheap and must not throw. `levels` is an estimate until the last level.
    virtual void Report(int level, int levels, double fraction) = 0;
    // True once the extraction should stop; it then stays true.
    virtual bool Canceled() const = 0;
};
