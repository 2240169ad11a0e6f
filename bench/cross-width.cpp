// What a job pays for crossing between the plug-in hosts of the two widths: the same nested path
// through two TPluginHosts, one whose plug-in folder has the middle level read by a *.sph (the level
// crosses into the 64-bit host and the next one back), one whose folder has only *.spi. Both keep
// their hosts warm; the first job of each, which starts its hosts, is timed apart.
//   bench-cross-width ROUNDS FOLDER_A FOLDER_B SOURCE0 SOURCE1 DESTFOLDER
// SOURCE0 and SOURCE1 are the same path under two copies of the outer archive. The timed jobs take
// them in turn, so that no host's kept chain serves a job and every job reads every level. Rounds
// alternate which side goes first. Each job writes a new file, DESTFOLDER\a.bin or \b.bin, removed
// before the next job of its side (not timed); the last ones stay for the caller to compare.
// Prints "first A_MS B_MS", one "round A_MS B_MS" per round, then "peak NAME PEAK_KIB IDLE_KIB" for
// each host: its highest resident set, and its resident set idle after the first jobs.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/ModulePath.h"
#include "base/Owned.h"
#include "bench/Clock.h"
#include "jobs/PluginHosts.h"

namespace {

// Long enough for every host to let its kept chain go.
constexpr DWORD kIdleMs = 2500;

struct THostProcess {
    std::string Name;
    UniqueHandle Process;
    SIZE_T IdleBytes = 0;
};

// This process's children of that file name not yet in known.
void AddNewHosts(const char* fileName, const char* label, std::vector<THostProcess>& known) {
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.Get(), &entry); more; more = ::Process32Next(snapshot.Get(), &entry)) {
        if (entry.th32ParentProcessID != ::GetCurrentProcessId() || ::lstrcmpiA(entry.szExeFile, fileName) != 0)
            continue;
        bool seen = false;
        for (const THostProcess& host : known)
            seen = seen || ::GetProcessId(host.Process.Get()) == entry.th32ProcessID;
        if (!seen)
            known.push_back({std::string(label) + ":" + fileName,
                             UniqueHandle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID))});
    }
}

PROCESS_MEMORY_COUNTERS Counters(const THostProcess& host) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(host.Process.Get(), &counters, sizeof counters);
    return counters;
}

// One job into a new file; its milliseconds, or a negative number when it failed.
double TimedJob(TPluginHosts& hosts, const std::string& source, const std::string& dest) {
    ::DeleteFileA(dest.c_str());
    const double start = NowMs();
    const TExtractOutcome outcome = hosts.Extract(source, dest);
    const double ms = NowMs() - start;
    if (!outcome.Succeeded()) {
        std::fprintf(stderr, "bench-cross-width: %s\n", outcome.Describe().c_str());
        return -1;
    }
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7)
        return 2;
    const int rounds = std::atoi(argv[1]);
    const std::string sources[] = {argv[4], argv[5]};
    const std::string destA = std::string(argv[6]) + "\\a.bin";
    const std::string destB = std::string(argv[6]) + "\\b.bin";
    TPluginHosts crossing(ProgramFolder() + kHostFileName, ProgramFolder() + kHost64FileName);
    TPluginHosts narrow(ProgramFolder() + kHostFileName, ProgramFolder() + kHost64FileName);
    crossing.SetPluginFolder(argv[2]);
    narrow.SetPluginFolder(argv[3]);

    // Each side's hosts start with its first job; told apart by when they appear.
    std::vector<THostProcess> hosts;
    const double firstA = TimedJob(crossing, sources[0], destA);
    AddNewHosts(kHostFileName, "a", hosts);
    AddNewHosts(kHost64FileName, "a", hosts);
    const double firstB = TimedJob(narrow, sources[0], destB);
    AddNewHosts(kHostFileName, "b", hosts);
    AddNewHosts(kHost64FileName, "b", hosts);
    if (firstA < 0 || firstB < 0)
        return 1;
    std::printf("first %.1f %.1f\n", firstA, firstB);
    ::Sleep(kIdleMs);
    for (THostProcess& host : hosts)
        host.IdleBytes = Counters(host).WorkingSetSize;

    for (int round = 0; round < rounds; ++round) {
        // The first jobs read copy 0; from there on every job of a side takes the other copy.
        const std::string& source = sources[(round + 1) % 2];
        double a = 0;
        double b = 0;
        if (round % 2 == 0) {
            a = TimedJob(crossing, source, destA);
            b = TimedJob(narrow, source, destB);
        } else {
            b = TimedJob(narrow, source, destB);
            a = TimedJob(crossing, source, destA);
        }
        if (a < 0 || b < 0)
            return 1;
        std::printf("round %.1f %.1f\n", a, b);
    }
    for (const THostProcess& host : hosts)
        std::printf("peak %s %lu %lu\n", host.Name.c_str(), static_cast<unsigned long>(Counters(host).PeakWorkingSetSize >> 10),
                    static_cast<unsigned long>(host.IdleBytes >> 10));
    return 0;
}
