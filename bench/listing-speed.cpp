// A big archive's listing through the browser's way (the plug-in host lists, the pieces cross the
// channel, the rows are made) against the bare GetArchiveInfo call of the same plug-in on the same
// file, rounds alternating over two copies, so that no kept listing serves a round. Prints per round:
// bare ms, browser ms, and the bytes held per member above the names.
//   bench-listing ROUNDS PLUGIN_DIR ARCHIVE_A ARCHIVE_B
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/BrowserLevel.h"
#include "base/Owned.h"
#include "base/ProcAddress.h"
#include "base/WideText.h"
#include "bench/Clock.h"
#include "base/ModulePath.h"
#include "engine/Archive.h"
#include "engine/PluginList.h"
#include "engine/SpiTypes.h"
#include "jobs/PluginHosts.h"

int main(int argc, char** argv) {
    if (argc != 5)
        return 2;
    const int rounds = std::atoi(argv[1]);
    const std::string folder = argv[2];
    const std::string archives[] = {argv[3], argv[4]};
    UniqueModule plugin(::LoadLibraryA((folder + "\\zip.spi").c_str()));
    const auto list = ProcAddress<GetArchiveInfoFunc>(plugin.Get(), "GetArchiveInfo");
    if (!list)
        return 1;
    const std::unique_ptr<TPluginHosts> hosts = TPluginHosts::Beside(ProgramFolder());
    hosts->SetPluginFolder(folder);
    hosts->WarmUp();
    for (int round = 0; round < rounds; ++round) {
        const std::string& archive = archives[round % 2];
        double start = NowMs();
        HLOCAL block = nullptr;
        if (list(archive.c_str(), 0, 0, &block) != 0)
            return 1;
        ::LocalFree(block);
        const double bare = NowMs() - start;
        start = NowMs();
        TBrowserLevel level;
        if (!hosts->List(archive, level).Succeeded())
            return 1;
        level.MakeRows();
        const double browser = NowMs() - start;
        start = NowMs();
        TPluginList plugins;
        plugins.SetFolder(folder);
        plugins.Load();
        TBrowserLevel here;
        if (!ListPathOutcome(plugins, archive, here).Succeeded())
            return 1;
        const double engine = NowMs() - start;
        std::printf("%.1f %.1f %.1f %zu %.1f\n", bare, browser,
                    static_cast<double>(level.OverheadBytes()) / static_cast<double>(level.MemberCount()),
                    level.MemberCount(), engine);
    }
    hosts->Terminate();
    return 0;
}
