// The plug-in work of one nested extraction with nothing around it: the same entry points, in the
// same order and with the same arguments as the engine uses (the type texts at load, then per level
// the probe, the member lookups from the longest prefix down, and the member itself, flushed to the
// disk as the engine's durable writes are), for a path of archives inside archives. The benchmark
// compares the engine with this. A last member on disk above the engine's memory output limit comes
// through the plug-in's disk output, as the engine asks for it.
// With --progress on, every GetFile gets the engine's progress callback, told to a sink that counts;
// otherwise none (null), as the engine passed before. With --progress either way, it prints the
// milliseconds from the first plug-in call to the written file, and how many callbacks came.
//   bench-direct [--progress on|off] PLUGIN ARCHIVE MEMBER... DEST      (MEMBER: one name per level)
// And with --callback-cost, the nanoseconds one call of that callback takes, timed over a million.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/Owned.h"
#include "base/ProcAddress.h"
#include "bench/Clock.h"
#include "engine/Archive.h"
#include "engine/LevelProgress.h"
#include "engine/Progress.h"
#include "engine/SpiProgress.h"
#include "engine/SpiTypes.h"

namespace {

class TCountingSink final : public TProgress {
public:
    void Report(int, int, double) override { ++Reports; }
    bool Canceled() const override {
        ++Calls;
        return false;
    }
    long Reports = 0;
    mutable long Calls = 0;
};

bool reporting = false;
double started = 0;

int TimeCallback() {
    TCountingSink sink;
    TLevelProgress levels(&sink);
    levels.Enter(1, {});
    const TSpiProgress progress(&levels);
    constexpr int kCalls = 1000000;
    const double start = NowMs();
    for (int call = 0; call < kCalls; ++call)
        TSpiProgress::Callback(call, kCalls, progress.Data());
    std::printf("%.1f\n", (NowMs() - start) * 1e6 / kCalls);
    return sink.Calls == kCalls ? 0 : 1;
}

int Done(bool succeeded, const TCountingSink& sink) {
    if (reporting)
        std::printf("%.1f %ld\n", NowMs() - started, sink.Calls);
    return succeeded ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--callback-cost") == 0)
        return TimeCallback();
    reporting = argc > 2 && std::strcmp(argv[1], "--progress") == 0;
    const bool withProgress = reporting && std::strcmp(argv[2], "on") == 0;
    if (reporting) {
        argc -= 2;
        argv += 2;
    }
    if (argc < 5) {
        std::fprintf(stderr, "usage: bench-direct [--progress on|off] PLUGIN ARCHIVE MEMBER... DEST\n");
        return 2;
    }
    started = NowMs();
    TCountingSink sink;
    TLevelProgress levels(&sink);
    HMODULE plugin = ::LoadLibraryA(argv[1]);
    auto getPluginInfo = ProcAddress<GetPluginInfoFunc>(plugin, "GetPluginInfo");
    auto isSupported = ProcAddress<IsSupportedFunc>(plugin, "IsSupported");
    auto getFileInfo = ProcAddress<GetFileInfoFunc>(plugin, "GetFileInfo");
    auto getFile = ProcAddress<GetFileFunc>(plugin, "GetFile");
    if (!getPluginInfo || !isSupported || !getFileInfo || !getFile)
        return 1;
    char text[257] = {};
    getPluginInfo(0, text, 5);
    for (int n = 2; n <= 200 && getPluginInfo(n, text, 256); n += 2) {
    }

    static char head[3072];
    {
        UniqueHandle file(::CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD read = 0;
        ::ReadFile(file.Get(), head, sizeof head, &read, nullptr);
    }

    const char* source = argv[2];
    long length = 0;
    unsigned int input = kSpiInputDisk;
    // The caller owns every block a plug-in hands out and frees it, as the engine does: a level's
    // block as soon as the next level's member is out of it.
    UniqueLocal held;
    const char* image = head;
    fileInfo info;
    for (int level = 3; level < argc - 1; ++level) {
        if (!isSupported(argv[2], image))
            return 1;
        // The members still ahead, longest prefix first, as the engine looks them up.
        bool found = false;
        for (int last = argc - 2; last >= level && !found; --last) {
            std::string prefix = argv[level];
            for (int i = level + 1; i <= last; ++i)
                prefix += std::string("\\") + argv[i];
            std::memset(&info, 0, sizeof info);
            found = getFileInfo(source, length, prefix.c_str(), input | kSpiIgnoreCase, &info) == 0;
        }
        if (!found)
            return 1;
        levels.Enter(level - 2, {});
        const TSpiProgress progress(withProgress ? &levels : nullptr);
        const SpiProgressCallback callback = withProgress ? TSpiProgress::Callback : nullptr;
        if (level == argc - 2 && input == kSpiInputDisk && info.filesize > TRealArchive::kMemoryOutputLimit) {
            const std::string folder = std::string(argv[argc - 1]) + ".out";
            ::CreateDirectoryA(folder.c_str(), nullptr);
            if (getFile(source, static_cast<long>(info.position), const_cast<char*>(folder.c_str()),
                        kSpiInputDisk | kSpiOutputDisk, callback, progress.Data()) != 0)
                return 1;
            const std::string written = folder + "\\" + info.filename;
            UniqueHandle flushed(::CreateFileA(written.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!flushed || !::FlushFileBuffers(flushed.Get()))
                return 1;
            flushed.Reset();
            const bool moved = ::MoveFileExA(written.c_str(), argv[argc - 1], MOVEFILE_REPLACE_EXISTING);
            ::RemoveDirectoryA(folder.c_str());
            return Done(moved, sink);
        }
        const char* at = input == kSpiInputDisk ? source : source + info.position;
        const long from = input == kSpiInputDisk ? static_cast<long>(info.position) : length - info.position;
        HLOCAL block = nullptr;
        if (getFile(at, from, &block, input | kSpiOutputMemory, callback, progress.Data()) != 0)
            return 1;
        held.Reset(block);
        source = static_cast<const char*>(::LocalLock(block));
        image = source;
        length = static_cast<long>(info.filesize);
        input = kSpiInputMemory;
    }
    UniqueHandle out(
        ::CreateFileA(argv[argc - 1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    // Flushed, as the engine's durable writes are: a comparison without it measures the disk's mood.
    return Done(::WriteFile(out.Get(), source, info.filesize, &written, nullptr) && written == info.filesize &&
                    ::FlushFileBuffers(out.Get()),
                sink);
}
