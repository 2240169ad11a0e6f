#include "engine/LevelProgress.h"

#include <algorithm>

#include "base/PathText.h"
#include "engine/Progress.h"

namespace {

int Components(std::string_view path) {
    return path.empty() ? 0 : static_cast<int>(CountSeparators(path, "\\/")) + 1;
}

}  // namespace

void TLevelProgress::Enter(int level, std::string_view path) {
    if (level <= Level)
        return;
    Level = level;
    Total = std::max(level, level - 1 + Components(path));
    Fraction = 0;
    Tell();
}

void TLevelProgress::Located(std::string_view rest) {
    const int total = Level + Components(rest);
    if (Level == 0 || total >= Total)
        return;
    Total = total;
    Tell();
}

void TLevelProgress::Advance(double fraction) {
    // NaN fails every comparison: it is taken as no progress.
    fraction = fraction > 0 ? std::min(fraction, 1.0) : 0.0;
    if (Level == 0 || fraction <= Fraction)
        return;
    Fraction = fraction;
    Tell();
}

bool TLevelProgress::Canceled() const {
    return Sink && Sink->Canceled();
}

void TLevelProgress::Tell() {
    if (Sink)
        Sink->Report(Level, Total, Fraction);
}
