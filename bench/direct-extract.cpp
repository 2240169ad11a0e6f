// The plug-in work of one nested extraction with nothing around it: the same entry points, in the
// same order and with the same arguments as the engine uses (the type texts at load, then per level
// the probe, the member lookups from the longest prefix down, and the member itself), for a path of
// archives inside archives. The benchmark compares the engine with this.
//   bench-direct PLUGIN ARCHIVE MEMBER... DEST      (MEMBER: one name per level)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/Owned.h"
#include "base/ProcAddress.h"
#include "engine/SpiTypes.h"

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: bench-direct PLUGIN ARCHIVE MEMBER... DEST\n");
        return 2;
    }
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
        const char* at = input == kSpiInputDisk ? source : source + info.position;
        const long from = input == kSpiInputDisk ? static_cast<long>(info.position) : length - info.position;
        HLOCAL block = nullptr;
        if (getFile(at, from, &block, input | kSpiOutputMemory, nullptr, 0) != 0)
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
    return ::WriteFile(out.Get(), source, info.filesize, &written, nullptr) && written == info.filesize ? 0 : 1;
}
