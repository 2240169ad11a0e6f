#include "engine/PluginSettings.h"

#include "base/ModulePath.h"
#include "base/PathText.h"
#include "base/Registry.h"
#include "base/SystemPath.h"
#include "engine/SusieSettings.h"

namespace {

// "Path" holds at most 260 bytes with its terminator; Kelvane's own value is a folder the shell's
// browser picked, which may be longer.
constexpr DWORD kMaxSusiePathChars = MAX_PATH;
constexpr DWORD kMaxOwnPathChars = 32768;

bool IsSusiesFolder(const std::string& folder) {
    std::string susie;
    return ReadSusiePluginFolder(susie) && SameName(FolderShown(susie), FolderShown(folder));
}

}  // namespace

bool ReadSusiePluginFolder(std::string& folder) {
    folder.clear();
    UniqueKey key = OpenKey(HKEY_CURRENT_USER, kSusiePluginKey, KEY_QUERY_VALUE);
    auto path = QueryString(key.Get(), kSusiePathValue, kMaxSusiePathChars);
    // An empty value would name the drive's root, which is never scanned.
    if (!path || path->empty())
        return false;
    folder = *path + "\\";
    return true;
}

TPluginFolder FindPluginFolder() {
    UniqueKey own = OpenKey(HKEY_CURRENT_USER, kSettingsKey, KEY_QUERY_VALUE);
    if (auto chosen = QueryString(own.Get(), kPluginDirValue, kMaxOwnPathChars); chosen && !chosen->empty())
        return {*chosen, TFolderSource::kKelvane};
    std::string susie;
    if (ReadSusiePluginFolder(susie))
        return {susie, TFolderSource::kSusie};
    const std::string program = ProgramFolder();
    return {program.empty() ? std::string() : program + kBesideFolderName, TFolderSource::kBeside};
}

bool ChoosePluginFolder(const std::string& folder) {
    if (folder.empty())
        return DeleteValue(HKEY_CURRENT_USER, kSettingsKey, kPluginDirValue) ||
               !OpenKey(HKEY_CURRENT_USER, kSettingsKey, KEY_QUERY_VALUE);
    return WriteString(HKEY_CURRENT_USER, kSettingsKey, kPluginDirValue, folder);
}

TPluginSwitches::TPluginSwitches(const std::string& folder)
    : Own(OpenKey(HKEY_CURRENT_USER, kOwnActivateKey, KEY_QUERY_VALUE)),
      Susie(IsSusiesFolder(folder) ? OpenKey(HKEY_CURRENT_USER, kSusieActivateKey, KEY_QUERY_VALUE) : UniqueKey()) {}

TSwitch TPluginSwitches::Of(const std::string& fileName) const {
    if (Susie && QueryDword(Susie.Get(), fileName.c_str()).value_or(1) == 0)
        return TSwitch::kOffInSusie;
    if (Own && QueryDword(Own.Get(), fileName.c_str()).value_or(1) == 0)
        return TSwitch::kOffInKelvane;
    return TSwitch::kOn;
}

bool SwitchPlugin(const std::string& fileName, bool on) {
    return WriteDword(HKEY_CURRENT_USER, kOwnActivateKey, fileName.c_str(), on ? 1 : 0);
}
