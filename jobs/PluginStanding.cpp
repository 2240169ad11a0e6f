#include "jobs/PluginStanding.h"

#include <windows.h>

#include "base/Owned.h"
#include "base/Registry.h"

bool LeavesOut(TLearnt learnt) {
    return learnt == TLearnt::kCrashed || learnt == TLearnt::kHung;
}

void KeepStanding(const std::vector<TPluginStanding>& standing) {
    TDwordValues values;
    for (const TPluginStanding& plugin : standing)
        values.emplace_back(plugin.Plugin, static_cast<DWORD>(plugin.Learnt));
    // Volatile: a program that died keeps nothing from the next logon's.
    if (values.empty())
        DeleteTree(HKEY_CURRENT_USER, kStandingKey);
    else
        WriteVolatileDwords(HKEY_CURRENT_USER, kStandingKey, values);
}

std::vector<TPluginStanding> KeptStanding() {
    std::vector<TPluginStanding> standing;
    const UniqueKey key = OpenKey(HKEY_CURRENT_USER, kStandingKey, KEY_QUERY_VALUE);
    for (auto& [plugin, value] : DwordValues(key.Get()))
        if (value >= static_cast<DWORD>(TLearnt::kCrashed) && value <= static_cast<DWORD>(TLearnt::kRefusesMemory))
            standing.push_back({std::move(plugin), static_cast<TLearnt>(value)});
    return standing;
}
