// Console front end of the engine for scripts, tests and benchmarks.
//   kelvane-extract [--plugins DIR] SOURCE DEST
//   kelvane-extract [--plugins DIR] --to FOLDER SOURCE...
//   kelvane-extract [--plugins DIR] --list-plugins
//   kelvane-extract [--plugins DIR] --list SOURCE
// The second form writes each source's file into FOLDER under its last component, one after the
// other, keeping the outer levels of one job for the next as the plug-in host does.
// The plug-ins run in this process. A 32-bit process cannot load 64-bit ones (*.sph): a level that
// only those read goes on in the 64-bit plug-in host beside this program, as the resident program's
// jobs do, and comes back for the *.spi levels inside it.
// Exit 0 when every destination was written (silently), 1 when an extraction failed (one line on
// stderr for each, saying where and why), 2 for wrong arguments, 3 when a plug-in (or the program)
// crashed.
// The third form prints the folder the plug-ins are read from and where that came from, then one line
// per plug-in file, FILE, BITS, STATE and FORMATS apart by tabs, and exits 0. The states are asked of
// plug-in hosts, and what the running resident program has made of a plug-in is taken from it.
// The fourth prints the members of the archive, or of the folder inside one, that SOURCE names, in the
// archive's order: SIZE, TIME (local) and NAME (from SOURCE, "\" between folders) apart by tabs. Its
// exit codes are the first form's.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "base/CommandLine.h"
#include "base/ModulePath.h"
#include "base/PathText.h"
#include "base/TimeText.h"
#include "base/WideText.h"
#include "engine/Archive.h"
#include "engine/DestinationName.h"
#include "engine/KeptChain.h"
#include "engine/ListingSink.h"
#include "engine/PluginActivity.h"
#include "engine/PluginList.h"
#include "app/Resident.h"
#include "jobs/InProcessPart.h"
#include "jobs/PluginHosts.h"
#include "jobs/PluginInquiry.h"
#include "jobs/PluginStates.h"

namespace {

// A line of UTF-8 on stderr. A console is written wide and shows every name whole, whatever its code
// page; files and pipes get the ANSI code page, as scripts have always read it.
void PrintLine(const std::string& utf8) {
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (::GetConsoleMode(error, &mode)) {
        const std::wstring wide = WideFromUtf8(utf8 + "\n");
        DWORD written = 0;
        ::WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fprintf(stderr, "%s\n", ShownAnsiFromUtf8(utf8).c_str());
    std::fflush(stderr);
}

// A line of UTF-8 on stdout: wide to a console, UTF-8 to a file or a pipe, so that every name is whole.
void PrintOut(const std::string& utf8) {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(out, &mode)) {
        const std::wstring wide = WideFromUtf8(utf8 + "\n");
        ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    const std::string line = utf8 + "\n";
    ::WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void PrintFailure(const TExtractOutcome& outcome) {
    PrintLine("kelvane-extract: " + outcome.Describe());
}

// The command line in UTF-8; false when an argument holds a surrogate without its pair, which names
// nothing.
bool Utf8Arguments(std::vector<std::string>& arguments) {
    for (const std::wstring& wide : WideArguments()) {
        std::string utf8;
        if (!ExactUtf8(wide, utf8))
            return false;
        arguments.push_back(std::move(utf8));
    }
    return true;
}

// The plug-in being called, kept for the crash message; fixed storage, nothing to allocate then.
class TLastCall final : public TPluginActivity {
public:
    void Calling(const std::string& plugin, bool) noexcept override {
        const size_t length = plugin.copy(Name, sizeof Name - 1);
        Name[length] = '\0';
    }
    char Name[MAX_PATH] = {};
};

TLastCall lastCall;
const char* sourcePath = "";

LONG WINAPI OnCrash(EXCEPTION_POINTERS*) {
    TExtractOutcome outcome;
    outcome.Failure.Kind = lastCall.Name[0] ? TFailureKind::kPluginCrashed : TFailureKind::kInternal;
    outcome.Failure.Plugin = lastCall.Name;
    outcome.Component = sourcePath;
    PrintFailure(outcome);
    ::ExitProcess(3);
}

// "D:\a\b.zip\c.txt" -> "FOLDER\c.txt", by the resident program's rule; a trailing separator names the
// component before it.
std::string DestinationIn(const std::string& folder, std::string source) {
    while (source.size() > 1 && (source.back() == '\\' || source.back() == '/'))
        source.pop_back();
    return DestinationFor(folder, source);
}

// A path as the user gave it, resolved as the shell would ("/" too), so that the engine may insist
// on a name directly inside its folder; as it is when Windows makes no full path of it.
std::string UserPath(const std::string& path) {
    const std::string full = FullPath(path);
    return full.empty() ? path : full;
}

struct TJobPaths {
    std::string Source;
    std::string Destination;
};

// Runs every job through extract, each failure told on its line; the exit code.
template <class TExtract>
int RunJobs(const std::vector<TJobPaths>& jobs, TExtract extract) {
    int code = 0;
    for (const TJobPaths& job : jobs) {
        sourcePath = job.Source.c_str();
        const TExtractOutcome outcome = extract(job);
        if (outcome.Succeeded())
            continue;
        PrintFailure(outcome);
        const bool pluginFault = outcome.Failure.Kind == TFailureKind::kPluginCrashed ||
                                 outcome.Failure.Kind == TFailureKind::kPluginHung;
        code = std::max(code, pluginFault ? 3 : 1);
    }
    return code;
}

// By TPluginState and by TFolderSource, in their order.
constexpr const char* kStateWords[] = {"loaded", "off", "left-out", "given-copies", "not-archive", "not-loadable"};
static_assert(std::size(kStateWords) == static_cast<size_t>(TPluginState::kNotLoadable) + 1);
constexpr const char* kSourceWords[] = {"kelvane", "susie", "beside"};
static_assert(std::size(kSourceWords) == static_cast<size_t>(TFolderSource::kBeside) + 1);

int ListPlugins(const std::string& given) {
    const TPluginFolder folder = given.empty() ? FindPluginFolder() : TPluginFolder{UserPath(given), {}};
    const char* source = given.empty() ? kSourceWords[static_cast<size_t>(folder.Source)] : "given";
    PrintOut("FOLDER\t" + FolderShown(folder.Path) + "\t" + source);
    // What the running program's hosts made of them is theirs to tell; none runs, none is left out.
    const bool residentRuns = static_cast<bool>(UniqueHandle(::OpenMutexA(SYNCHRONIZE, FALSE, kInstanceMutexName)));
    std::vector<TPluginRow> rows = PluginRows(folder.Path, residentRuns ? KeptStanding() : std::vector<TPluginStanding>());
    TPluginInquiry inquiry(ProgramFolder(), folder.Path);
    for (TPluginRow& row : rows) {
        inquiry.Ask(row);
        PrintOut(row.FileName + "\t" + std::to_string(row.Bits) + "\t" +
                 kStateWords[static_cast<size_t>(row.State())] + "\t" + row.Patterns());
    }
    return 0;
}

// Printed once the listing is whole: a host that dies while it hands the pieces over prints nothing.
template <class TList>
TExtractOutcome ListAndPrint(TList list) {
    TListingInMemory listing;
    const TExtractOutcome outcome = list(listing);
    if (outcome.Succeeded())
        for (const TListedEntry& entry : listing.Entries)
            PrintOut(std::to_string(entry.Size) + "\t" + LocalTimeText(entry.Time) + "\t" + entry.Name);
    return outcome;
}

}  // namespace

int main() {
    std::vector<std::string> argv;
    const bool named = Utf8Arguments(argv);
    const int argc = static_cast<int>(argv.size());
    std::string pluginFolder;
    bool fromFolder = false;
    int next = 1;
    if (next < argc && argv[next] == "--plugins" && next + 1 < argc) {
        pluginFolder = argv[next + 1];
        fromFolder = true;
        next += 2;
    }
    if (named && next + 1 == argc && argv[next] == "--list-plugins" && !(fromFolder && pluginFolder.empty()))
        return ListPlugins(pluginFolder);
    const bool listing = next + 2 == argc && argv[next] == "--list";
    if (listing)
        ++next;
    std::string toFolder;
    if (!listing && next + 1 < argc && argv[next] == "--to") {
        toFolder = UserPath(argv[next + 1]);
        next += 2;
    }
    const bool many = !toFolder.empty();
    const int sources = listing ? 1 : many ? std::max(argc - next, 0) : argc - next == 2;
    if (!named || sources == 0 || (fromFolder && pluginFolder.empty())) {
        std::fprintf(stderr,
                     "usage: kelvane-extract [--plugins DIR] SOURCE DEST\n"
                     "       kelvane-extract [--plugins DIR] --to FOLDER SOURCE...\n"
                     "       kelvane-extract [--plugins DIR] --list-plugins\n"
                     "       kelvane-extract [--plugins DIR] --list SOURCE\n");
        return 2;
    }

    std::vector<TJobPaths> jobs;
    if (many) {
        for (int i = next; i < argc; ++i)
            jobs.push_back({argv[i], DestinationIn(toFolder, argv[i])});
    } else {
        jobs.push_back({argv[next], listing ? std::string() : UserPath(argv[next + 1])});
    }

    SetPluginActivity(&lastCall);
    ::SetUnhandledExceptionFilter(OnCrash);
    // Found once, as the resident program finds them for a job.
    if (!fromFolder)
        pluginFolder = FindPluginFolder().Path;
    TPluginList plugins;
    plugins.SetFolder(pluginFolder);
    plugins.Load();
    // One job lets each level go as soon as the next is out; many keep the outer ones for the next.
    TKeptChain kept;
    TKeptChain* const keeping = many ? &kept : nullptr;
    // Levels of this width are read here; the 64-bit host starts only for a level that needs a *.sph.
    if (!PluginFileNames(pluginFolder, "*.sph", 1).empty()) {
        TInProcessPart here(plugins, keeping);
        const std::unique_ptr<TPluginHosts> hosts = TPluginHosts::Beside(ProgramFolder());
        hosts->SetPluginFolder(pluginFolder);
        hosts->RunNarrowIn(here);
        return RunJobs(jobs, [&](const TJobPaths& job) {
            return listing ? ListAndPrint([&](TListingSink& sink) { return hosts->List(job.Source, sink); })
                           : hosts->Extract(job.Source, job.Destination);
        });
    }
    return RunJobs(jobs, [&](const TJobPaths& job) {
        return listing ? ListAndPrint([&](TListingSink& sink) { return ListPathOutcome(plugins, job.Source, sink); })
                       : ExtractPathOutcome(plugins, job.Source, job.Destination, nullptr, keeping);
    });
}
