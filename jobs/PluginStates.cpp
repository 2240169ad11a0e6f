#include "jobs/PluginStates.h"

#include <windows.h>

#include <algorithm>

#include "base/Owned.h"
#include "base/PathText.h"
#include "base/SystemPath.h"
#include "base/WideText.h"

bool TPluginRow::Wide() const {
    return PluginNameBits(FileName) == 64;
}

TPluginState TPluginRow::State() const {
    // What the file is comes first: no setting makes it usable.
    if (AskFailure != TFailureKind::kNone || Facts.Kind == TPluginKind::kNotLoadable)
        return TPluginState::kNotLoadable;
    if (Facts.Kind == TPluginKind::kNotArchive)
        return TPluginState::kNotArchive;
    if (Switch != TSwitch::kOn)
        return TPluginState::kOff;
    if (Learnt)
        return LeavesOut(*Learnt) ? TPluginState::kLeftOut : TPluginState::kGivenCopies;
    return TPluginState::kLoaded;
}

std::string TPluginRow::Patterns() const {
    return JoinedPatterns(Facts.Formats);
}

std::vector<TPluginRow> PluginRows(const std::string& folder, const std::vector<TPluginStanding>& standing) {
    std::vector<TPluginRow> rows;
    const std::string prefix = FolderWithSeparator(folder);
    WIN32_FIND_DATAW found;
    UniqueFind search(folder.empty() ? INVALID_HANDLE_VALUE
                                     : ::FindFirstFileW(SystemPath(prefix + "*.sp?").c_str(), &found));
    if (!search)
        return rows;
    const TPluginSwitches switches(folder);
    do {
        TPluginRow row;
        // "*.sp?" also finds names that only their short form matches.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !ExactUtf8(found.cFileName, row.FileName) ||
            PluginNameBits(row.FileName) == 0)
            continue;
        const int bits = PluginBits(prefix + row.FileName);
        row.Bits = bits ? bits : PluginNameBits(row.FileName);
        row.Switch = switches.Of(row.FileName);
        // The job hosts count by file name, without regard to case; leaving out weighs more.
        for (const TPluginStanding& plugin : standing)
            if (SameName(plugin.Plugin, row.FileName) && (!row.Learnt || LeavesOut(plugin.Learnt)))
                row.Learnt = plugin.Learnt;
        rows.push_back(std::move(row));
    } while (::FindNextFileW(search.Get(), &found));
    std::sort(rows.begin(), rows.end(), [](const TPluginRow& one, const TPluginRow& other) {
        return ::lstrcmpiW(WideFromUtf8(one.FileName).c_str(), WideFromUtf8(other.FileName).c_str()) < 0;
    });
    return rows;
}
