// What durable destination writes cost: the engine's writers (bytes flushed to the disk before the
// rename, the rename written through) against the same temporary-and-rename without either, as the
// engine wrote before. Rounds alternate the two; medians.
//   bench-durable FOLDER SMALL_COUNT BIG_FILE ROUNDS
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <cstdint>
#include <vector>

#include "base/Owned.h"
#include "bench/Clock.h"
#include "engine/DestinationWrite.h"
#include "engine/OpenForReading.h"

namespace {

// The writer as it was: a temporary file beside the destination, renamed over it.
bool WriteUnflushed(const std::string& dest, const void* data, DWORD size) {
    const std::string temporary = dest + ".unflushed";
    {
        UniqueHandle file(::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        DWORD written = 0;
        if (!file || !::WriteFile(file.Get(), data, size, &written, nullptr) || written != size)
            return false;
    }
    return ::MoveFileExA(temporary.c_str(), dest.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// The engine's copy as it was when this was measured: through windows of a mapping, without the flush.
bool CopyUnflushed(const std::string& dest, HANDLE source, uint64_t size) {
    const std::string temporary = dest + ".unflushed";
    {
        UniqueHandle file(::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        UniqueHandle mapping(::CreateFileMappingA(source, nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (!file || !mapping)
            return false;
        constexpr uint64_t kChunk = 64u << 20;
        for (uint64_t offset = 0; offset < size; offset += kChunk) {
            const auto length = static_cast<DWORD>(std::min(size - offset, kChunk));
            UniqueView view(::MapViewOfFile(mapping.Get(), FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                                            static_cast<DWORD>(offset), length));
            DWORD written = 0;
            if (!view || !::WriteFile(file.Get(), view.Get(), length, &written, nullptr) || written != length)
                return false;
        }
    }
    return ::MoveFileExA(temporary.c_str(), dest.c_str(), MOVEFILE_REPLACE_EXISTING);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench-durable FOLDER SMALL_COUNT BIG_FILE ROUNDS\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int count = std::atoi(argv[2]);
    UniqueHandle big(OpenForReading(argv[3]));
    LARGE_INTEGER bigSize;
    if (!big || !::GetFileSizeEx(big.Get(), &bigSize))
        return 1;
    const std::string small(4096, 's');
    std::vector<double> smallDurable, smallPlain, bigDurable, bigPlain;
    for (int round = 0; round < std::atoi(argv[4]); ++round) {
        double start = NowMs();
        for (int i = 0; i < count; ++i)
            if (!WriteBlockToFile(folder + "\\d" + std::to_string(i), small.data(), 4096))
                return 1;
        smallDurable.push_back(NowMs() - start);
        start = NowMs();
        for (int i = 0; i < count; ++i)
            if (!WriteUnflushed(folder + "\\p" + std::to_string(i), small.data(), 4096))
                return 1;
        smallPlain.push_back(NowMs() - start);
        start = NowMs();
        if (!CopyToFile(folder + "\\big-durable", argv[3], big.Get()))
            return 1;
        bigDurable.push_back(NowMs() - start);
        start = NowMs();
        if (!CopyUnflushed(folder + "\\big-plain", big.Get(), static_cast<uint64_t>(bigSize.QuadPart)))
            return 1;
        bigPlain.push_back(NowMs() - start);
    }
    std::printf("%d small files: durable %.0f ms, unflushed %.0f ms, ratio %.2f\n", count, Median(smallDurable),
                Median(smallPlain), Median(smallDurable) / Median(smallPlain));
    std::printf("%.0f MiB file: durable %.0f ms, unflushed %.0f ms, ratio %.2f\n",
                static_cast<double>(bigSize.QuadPart) / (1 << 20), Median(bigDurable), Median(bigPlain),
                Median(bigDurable) / Median(bigPlain));
    return 0;
}
