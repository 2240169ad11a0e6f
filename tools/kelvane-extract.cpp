// Console front end of the engine for scripts, tests and benchmarks.
//   kelvane-extract [--plugins DIR] SOURCE DEST
// Exit 0 when the destination was written, 1 when the extraction failed, 2 for wrong arguments.
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/Archive.h"
#include "engine/PluginList.h"

int main(int argc, char** argv) {
    std::string pluginFolder;
    bool fromFolder = false;
    int next = 1;
    if (next < argc && std::strcmp(argv[next], "--plugins") == 0 && next + 1 < argc) {
        pluginFolder = argv[next + 1];
        fromFolder = true;
        next += 2;
    }
    if (argc - next != 2 || (fromFolder && pluginFolder.empty())) {
        std::fprintf(stderr, "usage: kelvane-extract [--plugins DIR] SOURCE DEST\n");
        return 2;
    }

    TPluginList plugins;
    if (fromFolder) {
        plugins.SetFolder(pluginFolder);
        plugins.Load();
    } else {
        ReloadPlugins(plugins);
    }
    return ExtractPath(plugins, argv[next], argv[next + 1]) ? 0 : 1;
}
