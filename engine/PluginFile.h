// One plug-in file as loading it shows: whether it is a Susie archive plug-in, and what it says of
// itself. Loading runs the plug-in's own start-up code: the resident program never does it, only the
// processes that run plug-ins.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/Owned.h"

enum class TPluginKind {
    kArchive,      // type "00AM", with IsSupported or IsSupportedW
    kNotArchive,   // loads, but is of another type or lacks what the engine asks
    kNotLoadable,  // Windows does not load it
};

struct TFileFormat {
    std::string Pattern;  // "*.zip"
    std::string Description;
};

struct TPluginFacts {
    TPluginKind Kind = TPluginKind::kNotLoadable;
    DWORD LoadError = 0;  // why Windows did not load it
    bool HasInfo = false;  // GetPluginInfo or GetPluginInfoW
    bool HasIsSupported = false;
    bool HasSettings = false;  // ConfigurationDlg
    std::string Type;     // its text 0, "00AM" for an archive plug-in
    std::string Version;  // its text 1, with every text asked
    std::vector<TFileFormat> Formats;  // with their descriptions when every text is asked
};

// Jobs ask only what they use (the type and the patterns): some plug-ins crash on other texts, and
// they must not cost every job. Only the hosts that answer the options dialog ask for all.
enum class TPluginTexts { kForJobs, kAll };

class TPluginFile {
public:
    TPluginFile(const std::string& path, TPluginTexts texts);

    const TPluginFacts& Facts() const { return Facts_; }
    HMODULE Module() const { return Module_.Get(); }
    UniqueModule TakeModule() { return std::move(Module_); }

private:
    TPluginFacts Facts_;
    UniqueModule Module_;
};

// The formats' patterns joined by ";", as jobs and scripts take them.
std::string JoinedPatterns(const std::vector<TFileFormat>& formats);

// Which width a plug-in's file name says it is for: 32 for *.spi, 64 for *.sph, 0 for any other name.
int PluginNameBits(const std::string& fileName);
// Which width a DLL's header says it is for: 32 or 64; 0 when the file is no DLL that tells.
int PluginBits(const std::string& path);
