// Where the plug-ins are, and which of them are switched off. The folder the user chose in Kelvane
// comes first, then the one Susie's settings name, then the folder "plugins" beside the program, so
// that plug-ins copied there need nothing else. Susie's settings are read, never written: a plug-in
// switched off in Kelvane is so in Kelvane's own values.
#pragma once

#include <string>

#include "base/Owned.h"
#include "base/ProductKey.h"

constexpr char kPluginDirValue[] = "PluginDir";
constexpr char kOwnActivateKey[] = "Software\\Ombrik\\Kelvane\\Plug-ins\\Activate";
// Setup makes it, empty, and the installer takes its name from here.
#define FOLDER_PLUGINS "plugins"
constexpr char kBesideFolderName[] = FOLDER_PLUGINS;

enum class TFolderSource { kKelvane, kSusie, kBeside };

struct TPluginFolder {
    std::string Path;  // as it is kept (Susie's with one "\" appended); empty when none can be named
    TFolderSource Source = TFolderSource::kBeside;
};

// Susie's plug-in folder with one "\" appended, or false (and empty) when it has none.
bool ReadSusiePluginFolder(std::string& folder);
// The folder plug-ins are read from when none is given; asked anew each time, as the user may change it.
TPluginFolder FindPluginFolder();
// Kelvane's own choice from now on; empty forgets it, and Susie's folder or the one beside the program
// holds again.
bool ChoosePluginFolder(const std::string& folder);

enum class TSwitch { kOn, kOffInSusie, kOffInKelvane };

// Which plug-ins of a folder are switched off: by Kelvane's own values always, by Susie's only in the
// folder Susie's settings name. Only a REG_DWORD 0 switches one off.
class TPluginSwitches {
public:
    explicit TPluginSwitches(const std::string& folder);
    TSwitch Of(const std::string& fileName) const;

private:
    UniqueKey Own;
    UniqueKey Susie;  // none for another folder
};

// Kelvane's own value for the plug-in.
bool SwitchPlugin(const std::string& fileName, bool on);
