#include "shellext/Registration.h"

#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/AnsiPath.h"
#include "base/ModulePath.h"
#include "base/Registry.h"
#include "shellext/DropHandlerClsid.h"
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

// "C:\x\KelvaneSX.dll" -> "KelvaneSX".
std::string ServerName(std::string path) {
    std::string name;
    SplitLastComponent(path, name);
    const size_t dot = FindLastSeparator(name, ".");
    if (dot != std::string::npos)
        name.resize(dot);
    return name;
}

struct TNames {
    std::string Clsid = ClsidText(kDropHandlerClsid);
    std::string ServerPath = ::ServerPath();
    std::string ProgId = ServerName(ServerPath) + "." + kClassName;
    std::string ClassKey = "CLSID\\" + Clsid;
    std::string HandlerKey = std::string("Folder\\shellex\\DragDropHandlers\\") + kClassName;
};

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

bool WriteAll(const TClassesRoot& classes, const std::vector<TRegistryEntry>& entries) {
    for (const TRegistryEntry& entry : entries)
        if (!WriteString(classes.Root, classes.Prefix + entry.Key, entry.Value, entry.Text))
            return false;
    return true;
}

}  // namespace

void RegisterDropHandler() {
    const std::vector<TRegistryEntry> entries = EntriesToWrite(TNames());
    // A standard user may not write the machine's classes; the user's own part of them serves the
    // same, and without the handler registered the resident program would not start at all.
    if (!WriteAll(kMachineClasses, entries) && !WriteAll(kUserClasses, entries))
        throw std::runtime_error(kWriteFailed);
}

void UnregisterDropHandler() {
    const std::vector<std::string> keys = KeysToDelete(TNames());
    for (const TClassesRoot& classes : {kMachineClasses, kUserClasses})
        for (const std::string& key : keys)
            DeleteKey(classes.Root, classes.Prefix + key);
}
