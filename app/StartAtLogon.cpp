#include "app/StartAtLogon.h"

#include <string>

#include "app/Identifiers.h"
#include "base/ModulePath.h"
#include "base/Registry.h"
#include "base/SystemPath.h"

namespace {

// Quoted, as Windows runs a command line: the folder may hold spaces.
std::string RunCommand() {
    return '"' + ModulePath() + '"';
}

}  // namespace

bool StartsAtLogon() {
    UniqueKey key = OpenKey(HKEY_CURRENT_USER, kRunKey, KEY_QUERY_VALUE);
    const std::optional<std::string> command = QueryString(key.Get(), kRunValue, 2 * MAX_PATH);
    if (!command || ModulePath().empty())
        return false;
    // Another copy's value (the installed one's, say) is not this copy's.
    std::string named = *command;
    if (named.size() >= 2 && named.front() == '"' && named.back() == '"')
        named = named.substr(1, named.size() - 2);
    return SameName(named, ModulePath());
}

void ToggleStartAtLogon(HWND, TMessage&) {
    if (StartsAtLogon())
        DeleteValue(HKEY_CURRENT_USER, kRunKey, kRunValue);
    else if (!ModulePath().empty())
        WriteString(HKEY_CURRENT_USER, kRunKey, kRunValue, RunCommand());
}

void ShowStartAtLogon(HMENU menu) {
    ::CheckMenuItem(menu, IDM_STARTATLOGON, MF_BYCOMMAND | (StartsAtLogon() ? MF_CHECKED : MF_UNCHECKED));
}
