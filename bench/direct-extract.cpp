// The plug-in work of one nested extraction with nothing around it: the same entry points, in the
// same order and with the same arguments as the engine uses, for a path of zip archives inside
// zip archives. The benchmark compares the engine with this.
//   bench-direct PLUGIN ARCHIVE MEMBER... DEST      (MEMBER: one name per level)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/Owned.h"
#include "base/ProcAddress.h"
#include "engine/SpiTypes.h"

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: bench-direct PLUGIN ARCHIVE MEMBER... DEST\n");
        return 2;
    }
    HMODULE plugin = ::LoadLibraryA(argv[1]);
    auto isSupported = ProcAddress<IsSupportedFunc>(plugin, "IsSupported");
    auto getFileInfo = ProcAddress<GetFileInfoFunc>(plugin, "GetFileInfo");
    auto getFile = ProcAddress<GetFileFunc>(plugin, "GetFile");
    if (!isSupported || !getFileInfo || !getFile)
        return 1;

    static char head[3072];
    {
        UniqueHandle file(::CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD read = 0;
        ::ReadFile(file.Get(), head, sizeof head, &read, nullptr);
    }

    const char* source = argv[2];
    long length = 0;
    unsigned int input = kSpiInputDisk;
    HLOCAL block = nullptr;
    const char* image = head;
    fileInfo info;
    for (int level = 3; level < argc - 1; ++level) {
        if (!isSupported(argv[2], image))
            return 1;
        std::memset(&info, 0, sizeof info);
        if (getFileInfo(source, length, argv[level], input | kSpiIgnoreCase, &info) != 0)
            return 1;
        const char* at = input == kSpiInputDisk ? source : source + info.position;
        const long from = input == kSpiInputDisk ? static_cast<long>(info.position) : length - info.position;
        block = nullptr;
        if (getFile(at, from, &block, input | kSpiOutputMemory, nullptr, 0) != 0)
            return 1;
        // Every level stays in memory until the end, as in the engine.
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
