// The two ways a plug-in hands over the last member of a path, in the x86-64 engine, each forced:
// memory output (a block of the member's size, written by the engine's block writer) and disk output
// (the plug-in writes into a folder beside the destination, and the engine moves its file into
// place), both as TRealArchive does them and through the same writers; and the engine itself, which
// picks the way by the member's size. idle loads the plug-ins, looks the member up and stops: the
// base for peak memory.
//   bench-output64 memory|disk|engine|idle PLUGINFOLDER ARCHIVE MEMBER DEST
// Prints the milliseconds from the first plug-in call to the written destination, and the process's
// peak resident memory in MiB.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/PathText.h"
#include "base/Owned.h"
#include "base/ProcAddress.h"
#include "bench/Clock.h"
#include "engine/Archive.h"
#include "engine/DestinationWrite.h"
#include "engine/PluginList.h"
#include "engine/SpiProgress.h"
#include "engine/Temporary.h"

namespace {

struct TCalls {
    GetFileInfoFunc GetFileInfo;
    GetFileFunc GetFile;
};

bool ThroughMemory(const TCalls& calls, const char* archive, const fileInfo& info, const std::string& dest) {
    HLOCAL block = nullptr;
    const TSpiProgress progress(nullptr);
    if (calls.GetFile(archive, static_cast<LONG_PTR>(info.position), &block, kSpiInputDisk | kSpiOutputMemory,
                      TSpiProgress::Callback, progress.Data()) != 0)
        return false;
    const LockedLocal member(block);
    return member.Data() && ::LocalSize(block) >= info.filesize &&
           WriteBlockToFile(dest, member.Data(), static_cast<uint32_t>(info.filesize));
}

bool ThroughDisk(const TCalls& calls, const char* archive, const fileInfo& info, const std::string& dest) {
    TTemporaryFolder output;
    if (output.Create(FolderOf(dest)) != ERROR_SUCCESS)
        return false;
    const TSpiProgress progress(nullptr);
    if (calls.GetFile(archive, static_cast<LONG_PTR>(info.position), const_cast<char*>(output.Path().c_str()),
                      kSpiInputDisk | kSpiOutputDisk, TSpiProgress::Callback, progress.Data()) != 0)
        return false;
    const std::string name(FieldText(info.filename, sizeof info.filename));
    return static_cast<bool>(MoveToFile(dest, output.Path() + "\\" + name));
}

}  // namespace

int main(int argc, char** argv) {
    const std::string way = argc == 6 ? argv[1] : "";
    if (way != "memory" && way != "disk" && way != "engine" && way != "idle") {
        std::fprintf(stderr, "usage: bench-output64 memory|disk|engine|idle PLUGINFOLDER ARCHIVE MEMBER DEST\n");
        return 2;
    }
    const char* archive = argv[3];
    const char* memberPath = argv[4];
    const std::string dest = argv[5];
    TPluginList plugins;
    plugins.SetFolder(argv[2]);
    if (plugins.Load() < 1)
        return 1;
    const TCalls calls{ProcAddress<GetFileInfoFunc>(plugins.GetModule(0), "GetFileInfo"),
                       ProcAddress<GetFileFunc>(plugins.GetModule(0), "GetFile")};
    if (!calls.GetFileInfo || !calls.GetFile)
        return 1;

    const double start = NowMs();
    bool written = false;
    if (way == "engine") {
        written = ExtractPathOutcome(plugins, std::string(archive) + "\\" + memberPath, dest).Succeeded();
    } else {
        fileInfo info{};
        if (calls.GetFileInfo(archive, 0, memberPath, kSpiInputDisk | kSpiIgnoreCase, &info) != 0)
            return 1;
        written = way == "idle" || (way == "memory" ? ThroughMemory(calls, archive, info, dest)
                                                    : ThroughDisk(calls, archive, info, dest));
    }
    const double elapsed = NowMs() - start;
    // Wine fills this from Linux's view of the process: the peak is its high-water resident set.
    PROCESS_MEMORY_COUNTERS memory{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    std::printf("%.1f %.1f\n", elapsed, memory.PeakWorkingSetSize / 1048576.0);
    return written ? 0 : 1;
}
