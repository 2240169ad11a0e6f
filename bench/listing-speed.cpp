// A big archive's listing through the browser's way (the plug-in host lists, the pieces cross the
// channel, the rows are made) against the bare GetArchiveInfo call of the same plug-in on the same
// file, rounds alternating over two copies, so that no kept listing serves a round. Prints per round:
// bare ms, browser ms, and the bytes held per member above the names.
//   bench-listing ROUNDS PLUGIN_DIR ARCHIVE_A ARCHIVE_B
// With "nested" first, each archive holds inner.zip: going into it after its outer level was listed
// (the browser's way) against the bare GetFileInfo, GetFile into memory and GetArchiveInfo of that
// image; then going back up, against nothing but the outer listing's bare call. Prints per round:
// bare ms, into ms, back-up ms, bare outer listing ms.
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

namespace {

// The bare calls of going into inner.zip: look it up, take it into memory, list the image.
bool BareEnter(HMODULE plugin, const std::string& archive) {
    const auto info = ProcAddress<GetFileInfoFunc>(plugin, "GetFileInfo");
    const auto get = ProcAddress<GetFileFunc>(plugin, "GetFile");
    const auto list = ProcAddress<GetArchiveInfoFunc>(plugin, "GetArchiveInfo");
    fileInfo member = {};
    if (!info || !get || !list || info(archive.c_str(), 0, "inner.zip", 0, &member) != 0)
        return false;
    HLOCAL image = nullptr;
    if (get(archive.c_str(), static_cast<LONG_PTR>(member.position), reinterpret_cast<char*>(&image), kSpiOutputMemory, nullptr,
            0) != 0)
        return false;
    HLOCAL block = nullptr;
    const int listed = list(static_cast<const char*>(::LocalLock(image)), static_cast<LONG_PTR>(::LocalSize(image)),
                            kSpiInputMemory, &block);
    ::LocalUnlock(image);
    ::LocalFree(image);
    ::LocalFree(block);
    return listed == 0;
}

int Nested(int rounds, const std::string& folder, const std::string (&archives)[2]) {
    UniqueModule plugin(::LoadLibraryA((folder + "\\zip.spi").c_str()));
    const auto list = ProcAddress<GetArchiveInfoFunc>(plugin.Get(), "GetArchiveInfo");
    const std::unique_ptr<TPluginHosts> hosts = TPluginHosts::Beside(ProgramFolder());
    hosts->SetPluginFolder(folder);
    hosts->WarmUp();
    for (int round = 0; round < rounds; ++round) {
        const std::string& archive = archives[round % 2];
        TBrowserLevel level;
        if (!list || !hosts->List(archive, level).Succeeded())
            return 1;
        double start = NowMs();
        if (!BareEnter(plugin.Get(), archive))
            return 1;
        const double bare = NowMs() - start;
        start = NowMs();
        if (!hosts->List(archive + "\\inner.zip", level).Succeeded())
            return 1;
        level.MakeRows();
        const double into = NowMs() - start;
        start = NowMs();
        if (!hosts->List(archive, level).Succeeded())
            return 1;
        level.MakeRows();
        const double up = NowMs() - start;
        start = NowMs();
        HLOCAL block = nullptr;
        if (list(archive.c_str(), 0, 0, &block) != 0)
            return 1;
        ::LocalFree(block);
        std::printf("%.1f %.1f %.1f %.1f\n", bare, into, up, NowMs() - start);
    }
    hosts->Terminate();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "nested")
        return Nested(std::atoi(argv[2]), argv[3], {argv[4], argv[5]});
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
