// The cost of running the plug-ins in KelvaneHost.exe: COUNT small nested extractions through the
// resident program's client and the host, against the same extractions in process (the engine as
// kelvane-extract runs it), in rounds that alternate. The plug-ins come from Susie's settings, as
// for both the resident program and the host.
//   bench-host COUNT ROUNDS SOURCE DESTFOLDER
// Jobs through the host run twice: with a progress object, as the worker runs them (the wait then
// wakes now and then), and without.
// Prints one line per round: "in_process_ms through_host_ms first_host_job_ms with_progress_ms
// folder_lookup_ms", the first job (which starts the host) apart from the COUNT measured, and COUNT
// lookups of the plug-ins' folder, as the resident program makes one before every job. Each side writes into
// a folder of its own (DESTFOLDER\a, \b and \c, which must exist), emptied by the caller between
// runs: Wine looks names up in a folder by reading it, so a fuller folder would slow one side.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/ModulePath.h"
#include "bench/Clock.h"
#include "engine/Archive.h"
#include "engine/PluginList.h"
#include "engine/PluginSettings.h"
#include "engine/Progress.h"
#include "jobs/PluginHost.h"

namespace {

class TQuietProgress final : public TProgress {
public:
    void Report(int, int, double) override {}
    bool Canceled() const override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5)
        return 2;
    const int count = std::atoi(argv[1]);
    const int rounds = std::atoi(argv[2]);
    const std::string source = argv[3];
    const std::string folder = argv[4];
    TPluginList plugins;
    ReloadPlugins(plugins);
    constexpr int kBlocks = 10;
    for (int round = 0; round < rounds; ++round) {
        // A fresh host each round, so every round pays its start with its first job.
        TPluginHost host(ProgramFolder() + kHostFileName);
        const double firstStart = NowMs();
        if (!host.Extract(source, folder + "\\b\\first.txt").Succeeded())
            return 1;
        const double firstJob = NowMs() - firstStart;
        // Blocks of jobs alternate between the ways, so that a slower moment of this shared machine
        // falls on all alike.
        TQuietProgress progress;
        double inProcess = 0;
        double throughHost = 0;
        double withProgress = 0;
        for (int block = 0; block < kBlocks; ++block) {
            const int from = block * count / kBlocks;
            const int to = (block + 1) * count / kBlocks;
            double start = NowMs();
            for (int i = from; i < to; ++i)
                if (!ExtractPath(plugins, source, folder + "\\a\\" + std::to_string(i) + ".txt"))
                    return 1;
            inProcess += NowMs() - start;
            start = NowMs();
            for (int i = from; i < to; ++i)
                if (!host.Extract(source, folder + "\\b\\" + std::to_string(i) + ".txt").Succeeded())
                    return 1;
            throughHost += NowMs() - start;
            start = NowMs();
            for (int i = from; i < to; ++i)
                if (!host.Extract(source, folder + "\\c\\" + std::to_string(i) + ".txt", &progress).Succeeded())
                    return 1;
            withProgress += NowMs() - start;
        }
        const double lookupStart = NowMs();
        for (int i = 0; i < count; ++i)
            if (FindPluginFolder().Path.empty())
                return 1;
        const double lookups = NowMs() - lookupStart;
        std::printf("%.1f %.1f %.1f %.1f %.1f\n", inProcess, throughHost, firstJob, withProgress, lookups);
    }
    return 0;
}
