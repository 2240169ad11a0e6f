// The plug-in host as the resident program uses it: a crash costs one job and the host's life,
// never the caller's; what a dead host left is removed; malformed messages are refused whole.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/ChildProcess.h"
#include "base/HandedSection.h"
#include "base/ModulePath.h"
#include "engine/Temporary.h"
#include "host/Channel.h"
#include "base/WideText.h"
#include "engine/JobPaths.h"
#include "jobs/PluginHost.h"
#include "jobs/PluginHosts.h"
#include "jobs/Worker.h"
#include "tests/app/WindowTestEnv.h"
#include "tests/engine/TestEnv.h"
#include "tests/jobs/HeldRecordLock.h"

namespace {

// A bound for what takes seconds on a quiet machine, and holds on a busy one.
constexpr DWORD kBusyMachineMs = 60000;

// The id of the plug-in host that this process started and that still runs.
DWORD RunningHostId() {
    return RunningChildId(kHostFileName);
}

// Whether the record of temporaries notes the host of that id in folder.
bool Notes(const std::string& record, DWORD host, const std::string& folder) {
    // Read as it may be at any moment, also while the host's job rewrites it: unreadable then.
    std::ifstream in(record, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string start = std::to_string(host) + " ";
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        const size_t named = line.find(" " + folder);
        const size_t after = named + 1 + folder.size();
        if (line.rfind(start, 0) == 0 && named != std::string::npos &&
            (after == line.size() || line[after] == '\r' || line[after] == '\t'))
            return true;
    }
    return false;
}

void SuspendThreadsOf(DWORD process) {
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more; more = ::Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID != process)
            continue;
        UniqueHandle thread(::OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
        ASSERT_TRUE(thread && ::SuspendThread(thread.Get()) != static_cast<DWORD>(-1));
    }
}

class PluginHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        susie.SetPath(SamplePlugin(""));
        temporaries = TemporariesOfAnyone();
    }
    void TearDown() override { EXPECT_EQ(TemporariesOfAnyone(), temporaries); }
    // Kept levels' copies go when the host has been idle for a moment, or has ended.
    void WaitForTemporariesToGo() const {
        const ULONGLONG until = ::GetTickCount64() + 10000;
        while (TemporariesOfAnyone() != temporaries && ::GetTickCount64() < until)
            ::Sleep(50);
    }

    const std::string good = TestData("outer.zip\\mid.tar\\pack\\inner.zip\\small.txt");
    SusieSettings susie;
    ScratchFolder out;
    TPluginHost host{ProgramFolder() + kHostFileName};
    int temporaries = 0;
};

TEST_F(PluginHostTest, KeepsTheLevelsOfAJobUntilIdleThenLetsThemGo) {
    PluginFolder folder{"zip.spi", "quirky\\exclusive.spi"};
    susie.SetPath(folder.Path());
    ASSERT_TRUE(host.Extract(TestData("quirks.zip\\inner.xtar\\small.txt"), out / "a.txt").Succeeded());
    // The level its plug-in reads from a temporary copy is kept with that copy for the next job.
    EXPECT_EQ(TemporariesOfAnyone(), temporaries + 1);
    ASSERT_TRUE(host.Extract(TestData("quirks.zip\\inner.xtar\\docs\\readme.txt"), out / "b.txt").Succeeded());
    WaitForTemporariesToGo();
    EXPECT_EQ(TemporariesOfAnyone(), temporaries);
    EXPECT_NE(RunningHostId(), 0u);
    host.Terminate();
}

// A user named outside the code page has a temporary folder ANSI plug-ins cannot name: the copies they
// read are made where they can, and go as ever.
TEST_F(PluginHostTest, CopiesForAnsiPluginsAreMadeWhereTheyCanBeNamed) {
    PluginFolder folder{"zip.spi", "quirky\\exclusive.spi"};
    susie.SetPath(folder.Path());
    ScratchFolder users;
    const std::wstring temp = WideFromUtf8(users / "Jos\xC3\xA9-\xED\x95\x9C");
    ASSERT_TRUE(::CreateDirectoryW(temp.c_str(), nullptr));
    wchar_t saved[2][MAX_PATH] = {};
    const wchar_t* names[] = {L"TMP", L"TEMP"};
    for (int i = 0; i < 2; ++i) {
        ::GetEnvironmentVariableW(names[i], saved[i], MAX_PATH);
        ::SetEnvironmentVariableW(names[i], temp.c_str());
    }
    host.SetIdleEnd(300);
    const TExtractOutcome outcome = host.Extract(TestData("quirks.zip\\inner.xtar\\small.txt"), out / "a.txt");
    for (int i = 0; i < 2; ++i)
        ::SetEnvironmentVariableW(names[i], saved[i]);
    ASSERT_TRUE(outcome.Succeeded()) << outcome.Describe();
    EXPECT_TRUE(SameContents(out / "a.txt", TestData("expect\\small.txt")));
    // The host ends idle, and takes its copies with it.
    PumpUntil([] { return RunningHostId() == 0; });
    WIN32_FIND_DATAW found;
    EXPECT_FALSE(UniqueFind(::FindFirstFileW((temp + L"\\~kv*").c_str(), &found)));
}

// A host idle for its time ends by itself, leaving nothing behind (here the copy its kept level was
// read from, before the 2 s that release it). The next job replaces it, and no such end counts as a
// crash of the plug-in it called last.
TEST_F(PluginHostTest, AHostIdleForItsTimeEndsAndTheNextJobReplacesIt) {
    PluginFolder folder{"zip.spi", "quirky\\exclusive.spi"};
    susie.SetPath(folder.Path());
    host.SetIdleEnd(300);
    const std::string source = TestData("quirks.zip\\inner.xtar\\small.txt");
    for (int end = 0; end <= TPluginHost::kCrashesBeforeSkipping; ++end) {
        ASSERT_TRUE(host.Extract(source, out / ("small" + std::to_string(end) + ".txt")).Succeeded());
        PumpUntil([] { return RunningHostId() == 0; });
        EXPECT_EQ(TemporariesOfAnyone(), temporaries);
    }
}

TEST_F(PluginHostTest, ACrashCostsOneJobAndTwoCrashesLeaveThePluginOut) {
    ASSERT_TRUE(host.Extract(good, out / "before.txt").Succeeded());
    // Names like the host's but for the token (another machine's host of the same id, in a shared
    // folder) and a user's own file outlive the clean-up after its crash.
    const std::string prefix = "~kv" + std::to_string(RunningHostId()) + "-";
    const std::vector<std::string> foreign = {out / (prefix + "0badf00d-7.tmp"), out / (prefix + "notes.txt"),
                                              UserTemporaryFolder() + prefix + "0badf00d-8"};
    for (const std::string& path : foreign)
        ASSERT_TRUE(UniqueHandle(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)));
    // A crash with disk input is the plug-in's own: its job runs once, in the host it had, and the
    // plug-in is still given archives in memory (it refuses inner.crash so, then crashes on its copy).
    const struct {
        const char* Source;
        bool InMemory;
    } crashes[] = {{"broken.crash\\a.txt", false}, {"crashes.zip\\inner.crash\\a.txt", true}};
    for (const auto& [crashing, inMemory] : crashes) {
        SCOPED_TRACE(crashing);
        const TCrashCalls before = SampleCrashCalls();
        const TExtractOutcome crashed = host.Extract(TestData(crashing), out / "crashed.txt");
        EXPECT_EQ(SampleCrashCalls().Loads, before.Loads) << "run again in a fresh host";
        EXPECT_EQ(SampleCrashCalls().MemoryLookups > before.MemoryLookups, inMemory) << "asked in memory first";
        EXPECT_EQ(crashed.Failure.Kind, TFailureKind::kPluginCrashed);
        EXPECT_EQ(crashed.Failure.Plugin, "crash.spi");
        EXPECT_NE(crashed.Reason().find("crash.spi"), std::string::npos);
        // A fresh host takes the next job.
        ASSERT_TRUE(host.Extract(good, out / "after.txt").Succeeded());
    }
    const TExtractOutcome skipped = host.Extract(TestData("broken.crash\\a.txt"), out / "skipped.txt");
    EXPECT_EQ(skipped.Failure.Kind, TFailureKind::kNoPlugin);
    EXPECT_EQ(skipped.Failure.Skipped, "crash.spi");
    EXPECT_NE(skipped.Reason().find("crash.spi"), std::string::npos);
    for (const std::string& path : foreign) {
        EXPECT_TRUE(FileExists(path)) << path;
        ::DeleteFileA(path.c_str());
    }
    EXPECT_EQ(out.EntryCount(), 2);
}

// A plug-in that crashes on an archive in memory, and tells it no other way, costs no job and is not
// left out: the job runs again in a fresh host that gives it a copy, as every later host does.
TEST_F(PluginHostTest, ACrashOnAnArchiveInMemoryCostsNoJob) {
    PluginFolder folder{"tar.spi", "quirky\\memcrashunlisted.spi"};
    susie.SetPath(folder.Path());
    DWORD firstHost = 0;
    for (const char* source : {"levels.tar\\inner.vzip\\docs\\readme.txt",
                               "levels.tar\\inner.vzip\\pack\\deeper.vzip\\docs\\readme.txt",
                               "levels.tar\\inner.vzip\\pack\\deeper.vzip\\small.txt"}) {
        SCOPED_TRACE(source);
        const TExtractOutcome outcome = host.Extract(TestData(source), out / "member.txt");
        ASSERT_TRUE(outcome.Succeeded()) << outcome.Describe();
        if (!firstHost)
            firstHost = RunningHostId();
        EXPECT_EQ(RunningHostId(), firstHost) << "no host crashed again";
    }
    EXPECT_TRUE(SameContents(out / "member.txt", TestData("expect\\small.txt")));
    WaitForTemporariesToGo();
}

// The x86-64 host reads through the *.sph of the plug-in folder, never its *.spi, and contains a
// crashing .sph as the 32-bit host contains a .spi.
TEST_F(PluginHostTest, TheX64HostReadsThroughTheSphPluginsOfTheFolderAndContainsTheirCrashes) {
    ASSERT_TRUE(host.Extract(good, out / "by32.txt").Succeeded());
    const std::string host64Path = ProgramFolder() + "KelvaneHost64.exe";
    {
        PluginFolder spiOnly{"zip.spi", "tar.spi"};
        susie.SetPath(spiOnly.Path());
        TPluginHost host64{host64Path};
        EXPECT_EQ(host64.Extract(good, out / "none.txt").Failure.Kind, TFailureKind::kNoPlugin);
    }
    PluginFolder folder{"zip.sph", "tar.sph", "crash.sph", "tar.spi"};
    susie.SetPath(folder.Path());
    TPluginHost host64{host64Path};
    ASSERT_TRUE(host64.Extract(good, out / "by64.txt").Succeeded());
    EXPECT_TRUE(SameContents(out / "by64.txt", out / "by32.txt"));
    const TExtractOutcome crashed = host64.Extract(TestData("broken.crash\\a.txt"), out / "crashed.txt");
    EXPECT_EQ(crashed.Failure.Kind, TFailureKind::kPluginCrashed);
    EXPECT_EQ(crashed.Failure.Plugin, "crash.sph");
    ASSERT_TRUE(host64.Extract(good, out / "after.txt").Succeeded());
    EXPECT_EQ(out.EntryCount(), 3);
}

TEST_F(PluginHostTest, AnEndedHostFailsItsJobAsCanceledAndTheNextOneRuns) {
    ASSERT_TRUE(host.Extract(good, out / "warm.txt").Succeeded());
    // From another thread, as cancel-all does while the worker waits in a hanging plug-in.
    UniqueHandle hanging(::CreateEventA(nullptr, TRUE, FALSE, "KelvaneSampleHanging"));
    ::ResetEvent(hanging.Get());
    std::thread canceler([&] {
        EXPECT_EQ(::WaitForSingleObject(hanging.Get(), kBusyMachineMs), WAIT_OBJECT_0);
        host.Terminate();
    });
    const TExtractOutcome hung = host.Extract(TestData("stuck.hang\\a.txt"), out / "hung.txt");
    canceler.join();
    EXPECT_EQ(hung.Failure.Kind, TFailureKind::kCanceled);
    EXPECT_TRUE(host.Extract(good, out / "next.txt").Succeeded());
}

// The extraction on a thread of its own, ended with the host should it take longer than the bound.
TExtractOutcome ExtractWithin(TPluginHost& host, const std::string& source, const std::string& dest, DWORD ms,
                              HANDLE whenInside = nullptr) {
    TExtractOutcome outcome;
    UniqueHandle done(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::thread job([&] {
        outcome = host.Extract(source, dest);
        ::SetEvent(done.Get());
    });
    if (whenInside)
        EXPECT_EQ(::WaitForSingleObject(whenInside, ms), WAIT_OBJECT_0) << "the loading never began";
    else
        EXPECT_EQ(::WaitForSingleObject(done.Get(), ms), WAIT_OBJECT_0) << "the extraction took too long";
    host.Terminate();
    job.join();
    return outcome;
}

// A start that takes long (a plug-in reading a big table from a slow disk) is no fault of the
// plug-in's: however often the user cancels it, that counts nothing against it.
TEST_F(PluginHostTest, CanceledSlowStartsCountNothingAgainstThePlugin) {
    PluginFolder folder{"stalling\\slowload.spi"};
    susie.SetPath(folder.Path());
    const std::string source = TestData("table.sload\\docs\\readme.txt");
    UniqueHandle loading(::CreateEventA(nullptr, TRUE, FALSE, "KelvaneSampleSlowLoading"));
    for (int cancel = 0; cancel < TPluginHost::kCrashesBeforeSkipping; ++cancel) {
        ::ResetEvent(loading.Get());
        EXPECT_EQ(ExtractWithin(host, source, out / "readme.txt", kBusyMachineMs, loading.Get()).Failure.Kind,
                  TFailureKind::kCanceled);
    }
    EXPECT_TRUE(ExtractWithin(host, source, out / "readme.txt", kBusyMachineMs).Succeeded());
}

// A host idle for its time ends at once, also when a plug-in's unloading would never return; one that
// takes no request (here: frozen) is ended, and the job goes to a fresh one.
TEST_F(PluginHostTest, AHostThatCannotTakeTheNextJobIsReplaced) {
    PluginFolder folder{"zip.spi", "stalling\\unloadwait.spi"};
    susie.SetPath(folder.Path());
    UniqueHandle unloading(::CreateEventA(nullptr, TRUE, FALSE, "KelvaneSampleUnloading"));
    const std::string source = TestData("inner.zip\\small.txt");
    host.SetIdleEnd(300);
    ASSERT_TRUE(host.Extract(source, out / "a.txt").Succeeded());
    PumpUntil([&] { return RunningHostId() == 0 || ::WaitForSingleObject(unloading.Get(), 0) == WAIT_OBJECT_0; });
    EXPECT_EQ(RunningHostId(), 0u) << "held in a plug-in's unloading";
    EXPECT_TRUE(ExtractWithin(host, source, out / "b.txt", kBusyMachineMs).Succeeded());

    host.SetIdleEnd(TPluginHost::kIdleEndMs);
    ASSERT_TRUE(host.Extract(source, out / "c.txt").Succeeded());
    const DWORD frozen = RunningHostId();
    SuspendThreadsOf(frozen);
    EXPECT_TRUE(ExtractWithin(host, source, out / "d.txt", kBusyMachineMs).Succeeded());
    const std::vector<DWORD> running = RunningChildIds(kHostFileName);
    EXPECT_EQ(std::find(running.begin(), running.end(), frozen), running.end());
}

// A start that stays inside one plug-in's loading for the bound is ended as hung, and that counts:
// after two, the plug-in is left out and jobs run again.
TEST_F(PluginHostTest, AStartHungInALoadingIsEndedAndCountsAgainstThePlugin) {
    PluginFolder folder{"zip.spi", "stalling\\stall.spi"};
    susie.SetPath(folder.Path());
    host.SetStartHangBound(300);
    for (int hang = 0; hang < TPluginHost::kCrashesBeforeSkipping; ++hang) {
        const TExtractOutcome hung = ExtractWithin(host, TestData("inner.zip\\small.txt"), out / "small.txt", 10000);
        EXPECT_EQ(hung.Failure.Kind, TFailureKind::kPluginHung);
        EXPECT_EQ(hung.Failure.Plugin, "stall.spi");
    }
    EXPECT_TRUE(ExtractWithin(host, TestData("inner.zip\\small.txt"), out / "small.txt", 10000).Succeeded());
}

// A host of questions loads one plug-in per question: one that hangs in its loading costs its own answer
// and the next question goes to a fresh host; a name that is no plug-in file of the folder is never
// loaded, and the host that was sent it ends.
TEST_F(PluginHostTest, AHostOfQuestionsAnswersForOnePluginAtATime) {
    PluginFolder folder{"zip.spi", "faulty\\wrongtype.spi", "stalling\\stall.spi"};
    host.SetInquiry();
    host.SetPluginFolder(folder.Path());
    const auto ask = [&](const std::string& file, DWORD boundMs, TExtractOutcome& failure) {
        const auto answer = host.Inquire(TMessageKind::kInquire, EncodeQuestion({file}), TMessageKind::kFacts, boundMs,
                                         failure);
        return answer ? DecodeFacts(*answer) : std::nullopt;
    };
    TExtractOutcome failure;
    const std::optional<TPluginFacts> zip = ask("zip.spi", 0, failure);
    ASSERT_TRUE(zip.has_value());
    EXPECT_EQ(zip->Kind, TPluginKind::kArchive);
    EXPECT_EQ(zip->Version, "Kelvane sample ZIP plug-in");
    ASSERT_EQ(zip->Formats.size(), 1u);
    EXPECT_EQ(zip->Formats[0].Description, "ZIP archive");
    EXPECT_EQ(ask("wrongtype.spi", 0, failure)->Type, "00IN");
    EXPECT_EQ(ask("none.spi", 0, failure)->LoadError, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(ask("stall.spi", 300, failure).has_value());
    EXPECT_EQ(failure.Failure.Kind, TFailureKind::kPluginHung);
    EXPECT_EQ(failure.Failure.Plugin, "stall.spi");
    EXPECT_TRUE(ask("zip.spi", 0, failure).has_value());
    for (const char* outside : {"..\\zip.spi", "C:\\windows\\system32\\kernel32.dll", "zip.dll"}) {
        failure = {};
        EXPECT_FALSE(ask(outside, 0, failure).has_value()) << outside;
        EXPECT_EQ(failure.Failure.Kind, TFailureKind::kHostEnded) << outside;
    }
}

// Every folder a host may write in is noted, so that what it leaves there is found should this program
// be killed. A note that the record's lock kept out is made at the next job, and the host that is
// started again for a request the first one never took notes the destination too.
TEST_F(PluginHostTest, NotesEveryFolderItsHostsWriteIn) {
    ScratchFolder home, later;
    const std::string record = home / "temporaries.txt";
    TPluginHost noting{ProgramFolder() + kHostFileName, record};
    {
        const THeldRecordLock other(record);
        const ULONGLONG start = ::GetTickCount64();
        ASSERT_TRUE(noting.Extract(good, out / "a.txt").Succeeded());
        EXPECT_LT(::GetTickCount64() - start, 5000u) << "held up by the lock";
    }
    const DWORD first = RunningHostId();
    EXPECT_FALSE(Notes(record, first, out.Path()));
    ASSERT_TRUE(noting.Extract(good, out / "b.txt").Succeeded());
    EXPECT_TRUE(Notes(record, first, out.Path()));

    // The host stops answering, and dies with the next request unread.
    SuspendThreadsOf(first);
    TExtractOutcome retried;
    std::thread job([&] { retried = noting.Extract(good, later / "c.txt"); });
    PumpUntil([&] { return Notes(record, first, later.Path()); });
    UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, first));
    EXPECT_TRUE(process && ::TerminateProcess(process.Get(), 1));
    job.join();
    EXPECT_TRUE(retried.Succeeded()) << retried.Describe();
    const DWORD second = RunningHostId();
    EXPECT_NE(second, first);
    EXPECT_TRUE(Notes(record, second, later.Path())) << ReadWholeFile(record);
}

// Stands for the window: keeps what the worker posts.
struct TPosted {
    std::vector<std::pair<WPARAM, LPARAM>> Progress;
    std::unique_ptr<TFinishedJob> Finished;
    int ProgressAfterFinish = 0;
};

TWorker* posting = nullptr;  // the worker whose finished jobs KeepPosted takes

LRESULT CALLBACK KeepPosted(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* posted = reinterpret_cast<TPosted*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (posted && message == WM_JOBPROGRESS) {
        posted->Progress.emplace_back(wParam, lParam);
        posted->ProgressAfterFinish += posted->Finished ? 1 : 0;
    } else if (posted && message == WM_JOBFINISHED) {
        if (std::optional<TFinishedJob> finished = posting->TakeFinished(wParam))
            posted->Finished = std::make_unique<TFinishedJob>(std::move(*finished));
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// Jobs run by a worker against the plug-in that reports in steps (40 of 25 ms) and stops when
// asked, and the one that never calls back (5 s); their host ends before their folder goes.
class WorkerProgressTest : public PluginHostTest {
protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        susie.SetPath(plugins.Path());
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = KeepPosted;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KelvaneWorkerTest";
        ::RegisterClassA(&windowClass);
        window = ::CreateWindowExA(0, "KelvaneWorkerTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_TRUE(window);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&posted));
        posting = &worker;
        worker.RunMode = kPaused;
    }
    void TearDown() override {
        worker.Wait();
        ::DestroyWindow(window);
        PluginHostTest::TearDown();
    }

    // Starts the job and waits until it has ended.
    const TExtractOutcome& Run(const std::string& source, const std::string& dest) {
        // The job before said it ended a moment before the worker is free again.
        PumpUntil([this] { return !worker.Busy(); });
        posted = {};
        EXPECT_TRUE(worker.Start(window, slowHost, {source, dest}));
        PumpUntil([this] { return posted.Finished != nullptr; });
        static const TExtractOutcome none;
        return posted.Finished ? posted.Finished->Outcome : none;
    }

    PluginFolder plugins{"zip.spi", "quirky\\slowsteps.spi", "quirky\\deaf.spi"};
    TPluginHosts slowHost{ProgramFolder() + kHostFileName, ""};
    TWorker worker;
    HWND window = nullptr;
    TPosted posted;
};

// Progress reaches the window while the job runs, and a cancel reaches the plug-in through its
// callback: the job ends at once, leaving nothing. The request that stopped it stays in the channel
// and must not stop the next job, which the same host runs.
TEST_F(WorkerProgressTest, ShowsProgressAndStopsThroughTheCallbackOnlyTheJobAsked) {
    posted = {};
    ASSERT_TRUE(worker.Start(window, slowHost, {TestData("steps.slow\\docs\\readme.txt"), out / "readme.txt"}));
    PumpUntil([this] { return posted.Progress.size() >= 2 || posted.Finished; });
    ASSERT_FALSE(posted.Finished) << "the job reports while it runs";
    EXPECT_EQ(posted.Progress.back().second, MAKELPARAM(1, 1));
    EXPECT_LT(posted.Progress.front().first, posted.Progress.back().first);
    EXPECT_LE(posted.Progress.back().first, 1000u);
    const DWORD host = RunningHostId();
    const ULONGLONG asked = ::GetTickCount64();
    worker.CancelRunning();
    PumpUntil([this] { return posted.Finished != nullptr; });
    EXPECT_LT(::GetTickCount64() - asked, 1000u);
    ASSERT_TRUE(posted.Finished);
    EXPECT_EQ(posted.Finished->Outcome.Failure.Kind, TFailureKind::kCanceled);
    EXPECT_EQ(posted.ProgressAfterFinish, 0);
    EXPECT_EQ(out.EntryCount(), 0);

    worker.CancelRunning();  // none runs: nothing to stop
    EXPECT_TRUE(Run(TestData("steps.slow\\docs\\readme.txt"), out / "readme.txt").Succeeded());
    EXPECT_EQ(RunningHostId(), host);
    EXPECT_TRUE(SameContents(out / "readme.txt", TestData("expect\\readme.txt")));
    EXPECT_GE(posted.Progress.size(), 2u);
    EXPECT_EQ(posted.ProgressAfterFinish, 0);
}

// A plug-in that never calls back is ended with its host about 2 s after the cancel; the next job
// runs in a fresh one.
TEST_F(WorkerProgressTest, ADeafPluginIsEndedWithItsHostTwoSecondsAfterTheCancel) {
    posted = {};
    UniqueHandle inside(::CreateEventA(nullptr, TRUE, FALSE, "KelvaneSampleDeafInside"));
    ::ResetEvent(inside.Get());
    ASSERT_TRUE(worker.Start(window, slowHost, {TestData("silent.deaf\\docs\\readme.txt"), out / "readme.txt"}));
    ASSERT_EQ(::WaitForSingleObject(inside.Get(), kBusyMachineMs), WAIT_OBJECT_0);
    const ULONGLONG asked = ::GetTickCount64();
    worker.CancelRunning();
    PumpUntil([this] { return posted.Finished != nullptr; });
    const ULONGLONG took = ::GetTickCount64() - asked;
    EXPECT_GE(took, 1500u);
    EXPECT_LE(took, 10000u);
    ASSERT_TRUE(posted.Finished);
    EXPECT_EQ(posted.Finished->Outcome.Failure.Kind, TFailureKind::kCanceled);
    EXPECT_EQ(out.EntryCount(), 0);
    EXPECT_TRUE(Run(TestData("inner.zip\\small.txt"), out / "small.txt").Succeeded());
    EXPECT_TRUE(SameContents(out / "small.txt", TestData("expect\\small.txt")));
}

// A job started while the hosts warm up waits for that start and runs in the host it made.
TEST_F(WorkerProgressTest, AJobStartedWhileTheHostsWarmUpRunsInTheHostTheyStarted) {
    ASSERT_TRUE(worker.WarmUp(slowHost));
    PumpUntil([] { return RunningHostId() != 0; });
    const DWORD warmed = RunningHostId();
    EXPECT_TRUE(Run(TestData("inner.zip\\small.txt"), out / "small.txt").Succeeded());
    EXPECT_EQ(RunningChildIds(kHostFileName), std::vector<DWORD>{warmed});
}

// A warm-up whose plug-in never finishes loading holds the job that waits for it only until that job
// is canceled: the host is ended 2 s later, as in the job's own start. The cancels count nothing:
// the next start still loads the plug-in, and is ended as hung.
TEST_F(WorkerProgressTest, ACanceledJobEndsTheWarmUpItWaitsForAsItsOwnStart) {
    PluginFolder stalling{"zip.spi", "stalling\\stall.spi"};
    susie.SetPath(stalling.Path());
    for (int end = 0; end < TPluginHost::kCrashesBeforeSkipping; ++end) {
        ASSERT_TRUE(worker.WarmUp(slowHost));
        PumpUntil([] { return RunningHostId() != 0; });
        posted = {};
        ASSERT_TRUE(worker.Start(window, slowHost, {TestData("inner.zip\\small.txt"), out / "small.txt"}));
        worker.CancelRunning();
        PumpUntil([this] { return posted.Finished != nullptr; });
        ASSERT_TRUE(posted.Finished);
        EXPECT_EQ(posted.Finished->Outcome.Failure.Kind, TFailureKind::kCanceled);
        EXPECT_EQ(RunningHostId(), 0u);
    }
    slowHost.SetStartHangBound(300);
    const TExtractOutcome& hung = Run(TestData("inner.zip\\small.txt"), out / "small.txt");
    EXPECT_EQ(hung.Failure.Kind, TFailureKind::kPluginHung);
    EXPECT_EQ(hung.Failure.Plugin, "stall.spi");
}

// What the host leaves in the progress block is read for its own job only, and made sane; a cancel
// request names one job.
TEST(HostMessagesTest, ProgressIsReadForItsJobOnlyAndCancelsNameOneJob) {
    auto memory = std::make_unique<TChannelMemory>();
    EXPECT_FALSE(ReadProgress(memory->Progress, 2).has_value()) << "nothing written yet";
    WriteProgress(memory->Progress, 2, 7, 3, 2.5);
    ASSERT_TRUE(ReadProgress(memory->Progress, 2).has_value());
    EXPECT_FALSE(ReadProgress(memory->Progress, 3).has_value()) << "another job's";
    const TJobProgress sane = *ReadProgress(memory->Progress, 2);
    EXPECT_EQ(sane.Level, 3);
    EXPECT_EQ(sane.Levels, 3);
    EXPECT_EQ(sane.Permille, 1000);
    WriteProgress(memory->Progress, 2, -1, 0x7FFFFFFF, -0.5);
    EXPECT_EQ(ReadProgress(memory->Progress, 2)->Level, 1);
    EXPECT_EQ(ReadProgress(memory->Progress, 2)->Levels, 0xFFFF);
    EXPECT_EQ(ReadProgress(memory->Progress, 2)->Permille, 0);
    ::InterlockedIncrement(&memory->Progress.Sequence);  // a host ended while it wrote
    EXPECT_FALSE(ReadProgress(memory->Progress, 2).has_value());

    RequestCancel(*memory, 4);
    EXPECT_TRUE(CancelRequested(*memory, 4));
    EXPECT_FALSE(CancelRequested(*memory, 5));
}

// A path the channel could not carry is refused before it, in words; the host goes on.
TEST_F(PluginHostTest, APathPastTheBoundIsRefusedBeforeTheChannel) {
    const std::string tooLong = TestData("inner.zip\\") + std::string(kMaxJobPath + 1, 'x');
    const TExtractOutcome refused = host.Extract(tooLong, out / "x.txt");
    EXPECT_EQ(refused.Failure.Kind, TFailureKind::kPathTooLong);
    EXPECT_EQ(refused.Component, tooLong);
    EXPECT_TRUE(host.Extract(good, out / "after.txt").Succeeded());
}

// An outcome may name long paths more than once (a file and the part of the path it is); it still
// fits one message, each text cut on a character.
TEST(HostMessagesTest, AnOutcomeNamingLongPathsFitsOneMessage) {
    TExtractOutcome outcome;
    outcome.Failure.Kind = TFailureKind::kCannotRead;
    outcome.Failure.File = "D:\\" + std::string(32000, '\x95') + "\\a";
    outcome.Component = outcome.Failure.File;
    outcome.Container = "D:\\short.zip";
    const std::vector<char> reply = EncodeOutcome(outcome);
    EXPECT_LE(reply.size(), kMaxPayload);
    const std::optional<TExtractOutcome> decoded = DecodeOutcome(reply);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->Container, "D:\\short.zip");
    EXPECT_TRUE(outcome.Component.starts_with(decoded->Component));
    EXPECT_EQ(decoded->Component.size() % 2, 1u) << "\"D:\\\" and whole double-byte characters";

    // A text past the bound is cut to exactly the bound, and the reader takes that: off by one on
    // either side, a job's failure would read as a host that ended.
    outcome.Failure.Kind = TFailureKind::kNoPlugin;
    outcome.Failure.Skipped = std::string(kMaxOutcomeText + 1, 'a');
    outcome.Component = std::string(kMaxOutcomeText, 'b');
    const std::optional<TExtractOutcome> atBound = DecodeOutcome(EncodeOutcome(outcome));
    ASSERT_TRUE(atBound.has_value());
    EXPECT_EQ(atBound->Failure.Skipped, std::string(kMaxOutcomeText, 'a'));
    EXPECT_EQ(atBound->Component, outcome.Component);
    const std::optional<THandOver> handOver =
        DecodeHandOver(EncodeHandOver({0, 0, 7, {"a", "", "a", "b", 1}, outcome.Failure.Skipped}));
    ASSERT_TRUE(handOver.has_value());
    EXPECT_EQ(handOver->Skipped, atBound->Failure.Skipped);
}

// A host hands levels on by the value of a section handle of its own. A host that a plug-in has
// taken over may name any handle instead; only a section is taken, and only to be read.
TEST(HostMessagesTest, OnlyASectionIsTakenOutOfAHost) {
    const auto valueOf = [](UniqueHandle handle) { return reinterpret_cast<uintptr_t>(handle.Release()); };
    const HANDLE host = ::GetCurrentProcess();
    EXPECT_FALSE(TakeSection(host, valueOf(UniqueHandle(::CreateEventA(nullptr, TRUE, FALSE, nullptr)))));
    EXPECT_FALSE(TakeSection(host, reinterpret_cast<uintptr_t>(::GetCurrentProcess()))) << "the host itself";
    ScratchFolder scratch;
    EXPECT_FALSE(TakeSection(host, valueOf(UniqueHandle(::CreateFileA((scratch / "level").c_str(), GENERIC_READ, 0,
                                                                      nullptr, CREATE_NEW, 0, nullptr)))));
    const UniqueHandle section = TakeSection(
        host,
        valueOf(UniqueHandle(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr))));
    ASSERT_TRUE(section);
    EXPECT_TRUE(UniqueView(::MapViewOfFile(section.Get(), FILE_MAP_READ, 0, 0, 0)));
    EXPECT_FALSE(UniqueView(::MapViewOfFile(section.Get(), FILE_MAP_WRITE, 0, 0, 0)));
}

// Messages whose lengths run past their data, or that stop short, are refused whole.
TEST(HostMessagesTest, RefuseMalformedPayloads) {
    const TCrossing level{U("D:\\a.zip\\表.tar"), "D:\\a.zip", U("表.tar"), "b.txt", 2};
    const std::string source = U("D:\\a.zip\\表.tar\\b.txt"), destination = "C:\\out\\b.txt";
    const std::vector<char> request = EncodeExtract({source, destination, 3, 0x1'0000'0044, 0x2'0000'0009, 7, level});
    ASSERT_TRUE(DecodeExtract(request).has_value());
    EXPECT_EQ(DecodeExtract(request)->Destination, destination);
    EXPECT_EQ(DecodeExtract(request)->Section, 0x1'0000'0044u) << "a 64-bit host's handle value";
    EXPECT_EQ(DecodeExtract(request)->Serial, 0x2'0000'0009u);
    EXPECT_EQ(DecodeExtract(request)->Level.Member, U("表.tar"));
    // A level the host kept is named by its serial alone, and still carries its names.
    const std::vector<char> keptLevel = EncodeExtract({source, destination, 3, 0, 0x2'0000'0009, 0, level, true});
    ASSERT_TRUE(DecodeExtract(keptLevel).has_value());
    EXPECT_EQ(DecodeExtract(keptLevel)->Level.Rest, "b.txt");
    EXPECT_TRUE(DecodeExtract(keptLevel)->Afresh);
    std::vector<char> notAFlag = keptLevel;
    notAFlag[4 + source.size() + 4 + destination.size() + 4] = 4;
    EXPECT_FALSE(DecodeExtract(notAFlag).has_value()) << "only afresh and list are flags";
    for (size_t cut = 0; cut < request.size(); ++cut)
        EXPECT_FALSE(DecodeExtract({request.begin(), request.begin() + cut}).has_value()) << cut;
    std::vector<char> longer = request;
    longer.push_back('x');
    EXPECT_FALSE(DecodeExtract(longer).has_value()) << "trailing bytes";
    std::vector<char> pastEnd = request;
    pastEnd[0] = '\x7F';  // the source's length now runs past the data
    EXPECT_FALSE(DecodeExtract(pastEnd).has_value());
    std::vector<char> zero = request;
    zero[5] = '\0';
    EXPECT_FALSE(DecodeExtract(zero).has_value()) << "a zero byte inside a path";

    const std::vector<char> handOver = EncodeHandOver({0, 0x2'0000'0009, 7, level, "crash.spi"});
    ASSERT_TRUE(DecodeHandOver(handOver).has_value());
    EXPECT_EQ(DecodeHandOver(handOver)->Level.Rest, "b.txt");
    EXPECT_EQ(DecodeHandOver(handOver)->Serial, 0x2'0000'0009u);
    for (size_t cut = 0; cut < handOver.size(); ++cut)
        EXPECT_FALSE(DecodeHandOver({handOver.begin(), handOver.begin() + cut}).has_value()) << cut;
    EXPECT_FALSE(DecodeHandOver(EncodeHandOver({0, 0, 7, {"a", "", "a", "b", 0}, ""})).has_value()) << "level 0";
    // Names of levels can outgrow the job's path: such a message is never made.
    EXPECT_TRUE(EncodeHandOver({0, 0, 7, {std::string(50000, 'a'), "", "a", "b", 2}, ""}).empty());

    TExtractOutcome outcome;
    outcome.Failure.Kind = TFailureKind::kPluginCrashed;
    outcome.Failure.Plugin = U("表.spi");
    std::vector<char> reply = EncodeOutcome(outcome);
    ASSERT_TRUE(DecodeOutcome(reply).has_value());
    EXPECT_EQ(DecodeOutcome(reply)->Failure.Plugin, U("表.spi"));
    reply[0] = '\x7F';  // no such kind
    EXPECT_FALSE(DecodeOutcome(reply).has_value());
    EXPECT_FALSE(DecodeStart({0, 0, 0, 0, '\xFF', '\xFF', '\xFF', '\x7F'}).has_value()) << "a count past any data";

    TPluginFacts facts;
    facts.Kind = TPluginKind::kArchive;
    facts.HasSettings = true;
    facts.Formats = {{"*.zip", "ZIP archive"}, {"*.tzip", ""}};
    const std::vector<char> answer = EncodeFacts(facts);
    ASSERT_TRUE(DecodeFacts(answer).has_value());
    EXPECT_TRUE(DecodeFacts(answer)->HasSettings);
    EXPECT_EQ(DecodeFacts(answer)->Formats[1].Pattern, "*.tzip");
    for (size_t cut = 0; cut < answer.size(); ++cut)
        EXPECT_FALSE(DecodeFacts({answer.begin(), answer.begin() + cut}).has_value()) << cut;
    std::vector<char> noKind = answer;
    noKind[0] = 3;
    EXPECT_FALSE(DecodeFacts(noKind).has_value());
}

// A message of no known kind, or longer than any message may be, is refused. An answer that was
// never read (its reader failed on the way), or one to an earlier question, never passes for the
// answer to a later one. Waiting on a peer that has ended fails.
// A listing of any size crosses in pieces that each fit their bound, and comes out whole and in order;
// a piece cut short gives nothing.
TEST(HostMessagesTest, AListingCrossesInPiecesAtTheirBound) {
    TListingPieces pieces;
    pieces.PieceBytes = 8 + 4 + 7 + 2 * (4 + 1 + 16);  // the first piece: its mark and count, the plug-in, two members
    pieces.Begin("zip.spi");
    std::vector<TListedEntry> given;
    for (int i = 0; i < 9; ++i)
        given.push_back({std::string(1, static_cast<char>('a' + i)), static_cast<uint64_t>(i) << 33, -i});
    given.push_back({std::string(pieces.PieceBytes - 8 - 4 - 16, 'x'), 1, 2});  // fills a piece alone
    for (const TListedEntry& entry : given)
        pieces.Add(entry.Name, entry.Size, entry.Time);
    const std::vector<std::vector<char>> taken = pieces.Take();
    ASSERT_EQ(taken.size(), 6u);
    TListingInMemory whole;
    for (const std::vector<char>& piece : taken) {
        EXPECT_LE(piece.size(), pieces.PieceBytes);
        ASSERT_TRUE(ReadListingPiece(piece, whole));
    }
    EXPECT_EQ(whole.Plugin, "zip.spi");
    ASSERT_EQ(whole.Entries.size(), given.size());
    for (size_t i = 0; i < given.size(); ++i) {
        EXPECT_EQ(whole.Entries[i].Name, given[i].Name);
        EXPECT_EQ(whole.Entries[i].Size, given[i].Size);
        EXPECT_EQ(whole.Entries[i].Time, given[i].Time);
    }
    TListingInMemory none;
    for (size_t cut = 1; cut < taken[1].size(); ++cut)
        EXPECT_FALSE(ReadListingPiece({taken[1].begin(), taken[1].end() - cut}, none)) << cut;
    std::vector<char> longer = taken[1];
    longer.push_back(0);
    EXPECT_FALSE(ReadListingPiece(longer, none));
    EXPECT_TRUE(none.Entries.empty());
}

TEST(HostMessagesTest, TheChannelTakesOnlyWellFormedAnswersToTheLastQuestion) {
    auto memory = std::make_unique<TChannelMemory>();
    UniqueHandle ready(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    UniqueHandle peerEnded(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    TChannelEnd resident(TChannelSide::kAsking, memory->Requests, ready.Get(), memory->Replies, ready.Get(),
                         peerEnded.Get());
    TChannelEnd host(TChannelSide::kAnswering, memory->Replies, ready.Get(), memory->Requests, ready.Get(),
                     peerEnded.Get());
    TMessageKind kind;
    std::vector<char> payload;
    ASSERT_TRUE(resident.Send(TMessageKind::kExtract, {'a', 'b'}));
    EXPECT_FALSE(resident.Send(TMessageKind::kExtract, {'c'})) << "the first was not taken yet";
    ASSERT_TRUE(host.Receive(kind, payload, 0));
    EXPECT_EQ(kind, TMessageKind::kExtract);
    EXPECT_EQ(payload, (std::vector<char>{'a', 'b'}));
    EXPECT_FALSE(resident.Send(TMessageKind::kExtract, std::vector<char>(kMaxPayload + 1)));

    for (const auto& [number, length] : {std::pair<uint32_t, uint32_t>{99, 2}, {0, 2}, {2, kMaxPayload + 1}}) {
        SCOPED_TRACE(number);
        memory->Requests.Kind = number;
        memory->Requests.Length = length;
        memory->Requests.Full = 1;
        EXPECT_FALSE(host.Receive(kind, payload, 0));
        memory->Requests.Full = 0;
    }

    ASSERT_TRUE(host.Send(TMessageKind::kOutcome, {'1'}));
    ASSERT_TRUE(resident.Send(TMessageKind::kExtract, {'2'}));
    ASSERT_TRUE(host.Receive(kind, payload, 0));
    ASSERT_TRUE(host.Send(TMessageKind::kOutcome, {'2'})) << "the unread answer was dropped";
    ASSERT_TRUE(resident.Receive(kind, payload, 0));
    EXPECT_EQ(payload, std::vector<char>{'2'});

    ASSERT_TRUE(resident.Send(TMessageKind::kExtract, {'3'}));
    ASSERT_TRUE(host.Receive(kind, payload, 0));
    memory->Replies.Number = memory->Requests.Number - 1;
    memory->Replies.Kind = static_cast<uint32_t>(TMessageKind::kOutcome);
    memory->Replies.Length = 0;
    memory->Replies.Full = 1;
    ::SetEvent(peerEnded.Get());
    EXPECT_FALSE(resident.Receive(kind, payload, 0)) << "a late answer to the second question";
    EXPECT_EQ(memory->Replies.Full, 0);
    EXPECT_FALSE(host.Receive(kind, payload, 0));
}

// A peer that keeps waking the asking side, or keeps writing answers to other questions, cannot
// keep its tick (which looks for the user's cancel) from running.
TEST(HostMessagesTest, ABusyPeerCannotStarveTheTick) {
    for (const bool wrongNumbers : {false, true}) {
        SCOPED_TRACE(wrongNumbers);
        auto memory = std::make_unique<TChannelMemory>();
        UniqueHandle ready(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
        UniqueHandle peer(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        TChannelEnd resident(TChannelSide::kAsking, memory->Requests, ready.Get(), memory->Replies, ready.Get(),
                             peer.Get());
        ASSERT_TRUE(resident.Send(TMessageKind::kExtract, {'a'}));
        std::atomic<bool> stop = false;
        std::thread flood([&] {
            const ULONGLONG until = ::GetTickCount64() + 5000;
            while (!stop && ::GetTickCount64() < until) {
                if (wrongNumbers) {
                    memory->Replies.Number = memory->Requests.Number + 1;
                    ::InterlockedExchange(&memory->Replies.Full, 1);
                }
                ::SetEvent(ready.Get());
            }
        });
        int ticks = 0;
        TMessageKind kind;
        std::vector<char> payload;
        const ULONGLONG began = ::GetTickCount64();
        EXPECT_FALSE(resident.Receive(kind, payload, 0, [&] { return ++ticks < 3; }, 50));
        const ULONGLONG took = ::GetTickCount64() - began;
        stop = true;
        flood.join();
        EXPECT_EQ(ticks, 3);
        EXPECT_LT(took, 2000u);
    }
}

// A host whose first message is garbage ends; the resident side only sees it gone.
TEST(HostMessagesTest, AHostFedGarbageEndsAlone) {
    UniqueHandle section(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(TChannelMemory), nullptr));
    UniqueHandle requestReady(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    UniqueHandle replyReady(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    HANDLE self = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &self,
                                  SYNCHRONIZE, FALSE, 0));
    UniqueHandle parent(self);
    UniqueWritableView view(::MapViewOfFile(section.Get(), FILE_MAP_WRITE, 0, 0, sizeof(TChannelMemory)));
    ASSERT_TRUE(view);
    auto& memory = *static_cast<TChannelMemory*>(view.Get());
    const std::string path = ProgramFolder() + kHostFileName;
    const TChildProcess host = StartInheriting(
        path, HostCommandLine(path, section.Get(), requestReady.Get(), replyReady.Get(), parent.Get(), NewTemporaryToken()),
        {section.Get(), requestReady.Get(), replyReady.Get(), parent.Get()}, CREATE_NO_WINDOW);
    ASSERT_TRUE(host.Process);
    const HANDLE process = host.Process.Get();
    // A start message whose length is far over the bound.
    memory.Requests.Kind = static_cast<uint32_t>(TMessageKind::kStart);
    memory.Requests.Length = 0x7FFFFFFF;
    ::InterlockedExchange(&memory.Requests.Full, 1);
    ::SetEvent(requestReady.Get());
    ASSERT_EQ(::WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    EXPECT_EQ(code, 2u);
    TChannelEnd resident(TChannelSide::kAsking, memory.Requests, requestReady.Get(), memory.Replies, replyReady.Get(),
                         process);
    TMessageKind kind;
    std::vector<char> reply;
    EXPECT_FALSE(resident.Receive(kind, reply, 0));
}

}  // namespace
