#include "shellext/Registration.h"

#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/PathText.h"
#include "base/ModulePath.h"
#include "base/Registry.h"
#include "base/WideText.h"
#include "shellext/DropHandlerClsid.h"
#include "shellext/ServerFile.h"
#include "shellext/Server.h"

namespace {

constexpr char kClassName[] = "Kelvane";
constexpr char kDescription[] = "Extracts dragged archive members with Susie plug-ins";
constexpr char kWriteFailed[] = "ｼｽﾃﾑ ﾚｼﾞｽﾄﾘ に書き込めません";

struct TRegistryEntry {
    std::string Key;
    const char* Value;
    std::string Text;
};

// The standard registry form: braces, upper-case digits.
std::string ClsidText(const CLSID& id) {
    char text[39] = {};
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2],
                  id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
    return text;
}

// The registry must name this file exactly, or not at all.
std::string ServerPath() {
    std::string path = ModulePath(ServerModule());
    if (path.empty())
        throw std::runtime_error(kWriteFailed);
    return path;
}

// "C:\x\KelvaneSX.dll" -> "KelvaneSX". The 64-bit file's suffix is dropped: "KelvaneSX64.dll" serves
// the same class under the same ProgID.
std::string ServerName(std::string path, bool sixtyFourBit) {
    std::string name;
    SplitLastComponent(path, name);
    const size_t dot = FindLastSeparator(name, ".");
    if (dot != std::string::npos)
        name.resize(dot);
    if (sixtyFourBit && name.ends_with(kSixtyFourBitSuffix) && name.size() > sizeof kSixtyFourBitSuffix - 1)
        name.resize(name.size() - (sizeof kSixtyFourBitSuffix - 1));
    return name;
}

// One server file and the registry view that its class entries belong in (0: this process's own).
struct TServer {
    std::string Path;
    bool SixtyFourBit;
    REGSAM View;
};

struct TNames {
    explicit TNames(const TServer& server)
        : ServerPath(server.Path), ProgId(ServerName(server.Path, server.SixtyFourBit) + "." + kClassName) {}
    std::string Clsid = ClsidText(kDropHandlerClsid);
    std::string ServerPath;
    std::string ProgId;
    std::string ClassKey = "CLSID\\" + Clsid;
    std::string HandlerKey = kDropHandlerKey;
};

bool RunsOnWow64() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

// This server in its own view, and, for the 32-bit server on 64-bit Windows, its 64-bit sibling in
// the 64-bit view. A 32-bit process cannot load the 64-bit DLL to let it register itself; writing its
// entries from the one table with KEY_WOW64_64KEY needs no helper program to build, ship and start.
// The sibling is registered only when its file lies beside this one, and unregistered always.
std::vector<TServer> Servers(bool registering) {
    std::vector<TServer> servers = {{ServerPath(), sizeof(void*) == 8, 0}};
    if (sizeof(void*) == 4 && RunsOnWow64()) {
        std::string folder = servers[0].Path;
        std::string name;
        SplitLastComponent(folder, name);
        const std::string sibling = folder + "\\" + kServerFileName64;
        if (!registering || ::GetFileAttributesW(WideFromUtf8(sibling).c_str()) != INVALID_FILE_ATTRIBUTES)
            servers.push_back({sibling, true, KEY_WOW64_64KEY});
    }
    return servers;
}

std::vector<TRegistryEntry> EntriesToWrite(const TNames& names) {
    const std::string& path = names.ServerPath;
    const std::string server = path.find(' ') == std::string::npos ? path : '"' + path + '"';
    return {
        {names.ClassKey, "", kDescription},
        {names.ClassKey + "\\InprocServer32", "", server},
        {names.ProgId, "", kDescription},
        {names.ProgId + "\\Clsid", "", names.Clsid},
        {names.ClassKey + "\\ProgID", "", names.ProgId},
        {names.ClassKey + "\\InProcServer32", "ThreadingModel", "Apartment"},
        {names.HandlerKey, "", names.Clsid},
    };
}

// Leaves before the keys that hold them.
std::vector<std::string> KeysToDelete(const TNames& names) {
    return {names.ClassKey + "\\ProgID",         names.ProgId + "\\Clsid", names.ProgId,
            names.ClassKey + "\\InprocServer32", names.ClassKey,           names.HandlerKey};
}

// Where class entries live: the classes root, or a standard user's own part of it.
struct TClassesRoot {
    HKEY Root;
    const char* Prefix;
};
const TClassesRoot kMachineClasses = {HKEY_CLASSES_ROOT, ""};
const TClassesRoot kUserClasses = {HKEY_CURRENT_USER, "Software\\Classes\\"};

bool WriteAll(const TClassesRoot& classes, const std::vector<TRegistryEntry>& entries, REGSAM view) {
    for (const TRegistryEntry& entry : entries)
        if (!WriteString(classes.Root, classes.Prefix + entry.Key, entry.Value, entry.Text, view))
            return false;
    return true;
}

// A standard user may not write the machine's classes; the user's own part of them serves the same,
// and without the handler registered the resident program would not start at all.
void Register(const TServer& server) {
    const std::vector<TRegistryEntry> entries = EntriesToWrite(TNames(server));
    if (!WriteAll(kMachineClasses, entries, server.View) && !WriteAll(kUserClasses, entries, server.View))
        throw std::runtime_error(kWriteFailed);
}

void Unregister(const TServer& server) {
    const std::vector<std::string> keys = KeysToDelete(TNames(server));
    for (const TClassesRoot& classes : {kMachineClasses, kUserClasses})
        for (const std::string& key : keys)
            DeleteKey(classes.Root, classes.Prefix + key, server.View);
}

}  // namespace

void RegisterDropHandler() {
    const std::vector<TServer> servers = Servers(true);
    try {
        for (const TServer& server : servers)
            Register(server);
    } catch (...) {
        // Half a registration would offer the handler in one shell while the program does not run.
        for (const TServer& server : servers)
            Unregister(server);
        throw;
    }
}

void UnregisterDropHandler() {
    for (const TServer& server : Servers(false))
        Unregister(server);
}
