#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "app/AppState.h"
#include "app/Destination.h"
#include "app/Identifiers.h"
#include "app/JobList.h"
#include "app/MainWindow.h"
#include "base/WideText.h"
#include "engine/JobPaths.h"
#include "handoff/BlockWriter.h"
#include "jobs/PluginHost.h"
#include "tests/app/WindowTestEnv.h"
#include "tests/engine/TestEnv.h"
#include "tests/shellext/ShellTestEnv.h"

namespace {

// Jobs run against the sample plug-ins, named as Susie's plug-in folder.
class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartCleanWindowTest();
        susie.SetPath(SamplePlugin(""));
    }
    void TearDown() override { EndWindowTest(); }

    HWND Start(uint8_t mode, bool visible = false) {
        const int m = mode, v = visible ? 1 : 0;
        ::RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Ombrik\\Kelvane", "Mode", REG_DWORD, &m, sizeof m);
        ::RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Ombrik\\Kelvane", "Visible", REG_DWORD, &v, sizeof v);
        HWND window = CreateTestMainWindow();
        EXPECT_TRUE(SetDestinationFolder(window, out.Path()));
        return window;
    }
    static void Drop(HWND window, const std::vector<std::string>& paths) { DropPaths(window, paths); }
    static void DropBytes(HWND window, const std::vector<char>& bytes) {
        HGLOBAL drop = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        std::memcpy(::GlobalLock(drop), bytes.data(), bytes.size());
        ::GlobalUnlock(drop);
        ::SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    }
    static int Jobs() { return App().Queue->Count(); }
    static int Lines() { return static_cast<int>(::SendMessageA(App().JobList, LB_GETCOUNT, 0, 0)); }
    // Extract-selected on that line: the worker takes it, and the window goes on meanwhile.
    static void ExtractLine(HWND window, int line) {
        ::SendMessageA(App().JobList, LB_SETCURSEL, line, 0);
        ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXTRACT, 0), 0);
        PumpUntil([] { return !App().Worker.Busy() && !App().Running; });
    }
    // Until the worker is free, without taking any of the window's messages; false after 10 s.
    static bool WaitUntilFree() {
        const ULONGLONG until = ::GetTickCount64() + 10000;
        while (App().Worker.Busy() && ::GetTickCount64() < until)
            ::Sleep(10);
        return !App().Worker.Busy();
    }
    static std::string Utf8(const std::wstring& wide) {
        std::string utf8;
        EXPECT_TRUE(ExactUtf8(wide, utf8));
        return utf8;
    }
    std::string Nested(const char* member) { return TestData(std::string("outer.zip\\mid.tar\\pack\\inner.zip\\") + member); }

    SusieSettings susie;
    ScratchFolder out;
};

TEST_F(WorkerTest, RunsDroppedJobsOneAtATimeInContinuousMode) {
    HWND window = Start(kContinuous);
    {
        // Holding the engine keeps the first worker inside its extraction.
        auto engine = App().Host->LockForExtraction();
        Drop(window, {Nested("docs\\readme.txt"), Nested("small.txt"), Nested("big.bin")});
        EXPECT_EQ(Jobs(), 3);
        EXPECT_FALSE(MenuEnabled(window, IDM_CHANGEDEST));
        EXPECT_FALSE(ButtonEnabled(IDM_CHANGEDEST));
        PumpUntil([] { return App().Worker.Busy() && Jobs() == 2; });
        // The running job keeps a line of its own, first, until it ends.
        EXPECT_EQ(Lines(), 3);
        // More WM_RUNNEXT while the worker runs start nothing.
        for (int i = 0; i < 3; ++i)
            ::PostMessageA(window, WM_RUNNEXT, 0, 0);
        PumpPending();
        EXPECT_EQ(Jobs(), 2);
    }
    PumpUntil([] { return Jobs() == 0 && !App().Worker.Busy() && MenuEnabled(App().MainWindow, IDM_CHANGEDEST); });
    EXPECT_TRUE(ButtonEnabled(IDM_CHANGEDEST));
    EXPECT_TRUE(SameContents(out / "readme.txt", TestData("expect\\readme.txt")));
    EXPECT_TRUE(SameContents(out / "small.txt", TestData("expect\\small.txt")));
    EXPECT_TRUE(SameContents(out / "big.bin", TestData("expect\\big.bin")));
}

// Dropped on the window, members whose names climb or make no file stay inside the folder, and the
// refused ones are told as failures.
TEST_F(WorkerTest, DroppedMembersNamesNeverLeadOutOfTheFolder) {
    HWND window = Start(kContinuous);
    const std::string sub = out / "sub";
    ASSERT_TRUE(::CreateDirectoryA(sub.c_str(), nullptr));
    ASSERT_TRUE(SetDestinationFolder(window, sub));
    const std::string trav = TestData("trav.zip\\");
    Drop(window, {trav + "x/../../evil.txt", trav + "..", trav + "CON", trav + "a."});
    PumpUntil([] { return Jobs() == 0 && !App().Worker.Busy() && !App().Running; });
    EXPECT_EQ(ReadWholeFile(sub + "\\evil.txt"), "climbed\r\n");
    EXPECT_EQ(out.EntryCount(), 1);
    EXPECT_EQ(App().Failures.Unseen(), 3);
}

TEST_F(WorkerTest, PauseLetsTheRunningJobFinishAndStopsTheChain) {
    HWND window = Start(kContinuous, true);
    {
        auto engine = App().Host->LockForExtraction();
        Drop(window, {Nested("small.txt"), Nested("big.bin"), Nested("docs\\readme.txt")});
        PumpUntil([] { return App().Worker.Busy() && Jobs() == 2; });
        ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_PAUSE, 0), 0);
        EXPECT_EQ(App().Worker.RunMode, kPaused);
    }
    PumpUntil([] { return !App().Worker.Busy(); });
    PumpPending();
    EXPECT_TRUE(FileExists(out / "small.txt"));
    EXPECT_EQ(Jobs(), 2);
    EXPECT_EQ(Lines(), 2);
    EXPECT_FALSE(FileExists(out / "big.bin"));
    // Continuous again: the chain picks up where it stopped.
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_CONTINUOUS, 0), 0);
    PumpUntil([] { return Jobs() == 0 && !App().Worker.Busy(); });
    EXPECT_TRUE(FileExists(out / "readme.txt"));
}

TEST_F(WorkerTest, WorksTheQueueByHandWhenPaused) {
    HWND window = Start(kPaused, true);
    Drop(window, {Nested("small.txt"), Nested("big.bin"), TestData("no-such.zip\\gone.txt"), Nested("empty.txt")});
    PumpPending();
    ASSERT_EQ(Jobs(), 4);
    // Nothing is selected: extract and delete do nothing.
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXTRACT, 0), 0);
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_DELETE, 0), 0);
    EXPECT_EQ(Jobs(), 4);
    // The selected job, not the first.
    ExtractLine(window, 1);
    EXPECT_TRUE(SameContents(out / "big.bin", TestData("expect\\big.bin")));
    EXPECT_EQ(App().Queue->GetDestination(1), out / "gone.txt");
    // A job that fails leaves the queue too, and is told.
    EXPECT_EQ(App().Failures.Unseen(), 0);
    ExtractLine(window, 1);
    EXPECT_EQ(Jobs(), 2);
    EXPECT_FALSE(FileExists(out / "gone.txt"));
    EXPECT_EQ(App().Failures.Unseen(), 1);
    ::SendMessageA(App().JobList, LB_SETCURSEL, 0, 0);
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_DELETE, 0), 0);
    EXPECT_EQ(App().Queue->GetSource(0), Nested("empty.txt"));
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_CANCELALL, 0), 0);
    EXPECT_EQ(Jobs(), 0);
    EXPECT_EQ(Lines(), 0);
    EXPECT_FALSE(FileExists(out / "small.txt"));
    EXPECT_EQ(out.EntryCount(), 1);
}

TEST_F(WorkerTest, FailuresShowOneBalloonAndMarkTheIconUntilTheWindowOpens) {
    HWND window = Start(kContinuous);
    // Success stays quiet.
    Drop(window, {Nested("small.txt")});
    PumpUntil([] { return Jobs() == 0 && !App().Worker.Busy(); });
    PumpPending();
    EXPECT_EQ(App().Failures.Unseen(), 0);
    EXPECT_EQ(TrayText(App().Tray.szTip), "Kelvane");

    // A burst of failures gathers into one balloon with the count and the latest reason.
    Drop(window, {TestData("no-such.zip\a.txt"), Nested("none-1.txt"), Nested("none-2.txt"), Nested("big.bin"),
                  Nested("none-3.txt")});
    PumpUntil([] { return App().BalloonsShown == 1; });
    EXPECT_EQ(Jobs(), 0);
    EXPECT_EQ(BalloonTitleShown(), "解凍できませんでした");
    std::string text = TrayText(App().Tray.szInfo);
    EXPECT_NE(text.find("4 件"), std::string::npos) << text;
    std::erase(text, '\n');
    TExtractOutcome notFound;
    notFound.Failure.Kind = TFailureKind::kNotFound;
    notFound.Failure.Plugin = "zip.spi";
    EXPECT_NE(text.find("none-3.txt" + ShownAnsiFromUtf8(notFound.Reason())), std::string::npos) << text;
    EXPECT_NE(TrayText(App().Tray.szTip).find("失敗 4 件"), std::string::npos);
    EXPECT_FALSE(::IsWindowVisible(window));

    // Opening the window clears the mark.
    ::ShowWindow(window, SW_SHOW);
    EXPECT_EQ(TrayText(App().Tray.szTip), "Kelvane");
    EXPECT_EQ(App().BalloonsShown, 1);
}

// Paused, nothing follows a job's end: that end reaches the disk by itself, about a second later.
TEST_F(WorkerTest, AnEndInPausedModeReachesTheDiskSoon) {
    HWND window = Start(kPaused);
    Drop(window, {Nested("small.txt"), Nested("big.bin")});
    PumpPending();
    ::SendMessageA(App().JobList, LB_SETCURSEL, 0, 0);
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXTRACT, 0), 0);
    ASSERT_TRUE(WaitUntilFree());
    // Flushed just before the end is taken: the end's own record waits for the next flush.
    App().Queue->SetDestination(0, out / "later.bin");
    PumpUntil([] { return !App().Running; });
    EXPECT_TRUE(FileExists(out / "small.txt"));
    PumpUntil([] { return !App().Queue->GetJournal()->Pending(); });
}

// A job that was running at two ends in a row, here of programs gone without a word, waits for the
// user: the continuous mode runs the others, a balloon says why, and F8 runs it.
TEST_F(WorkerTest, AJobRunningAtTwoEndsInARowWaitsForTheUser) {
    for (int end = 0; end < 2; ++end) {
        TExtractQueue queue(std::make_unique<TQueueJournal>(App().QueueFile));
        if (end == 0)
            queue.AppendAll({{0, Nested("small.txt"), out / "small.txt"}, {0, Nested("big.bin"), out / "big.bin"}});
        queue.Take(0);
    }
    HWND window = Start(kContinuous);
    PumpUntil([] { return Jobs() == 1 && !App().Worker.Busy() && !App().Running; });
    EXPECT_TRUE(FileExists(out / "big.bin"));
    EXPECT_FALSE(FileExists(out / "small.txt"));
    EXPECT_EQ(BalloonTitleShown(), "自動では解凍しないジョブがあります");
    EXPECT_NE(TrayText(App().Tray.szInfo).find("small.txt"), std::string::npos);
    ExtractLine(window, 0);
    EXPECT_TRUE(SameContents(out / "small.txt", TestData("expect\\small.txt")));
    EXPECT_EQ(Jobs(), 0);
}

TEST_F(WorkerTest, ACrashingPluginCostsOnlyItsJob) {
    HWND window = Start(kContinuous);
    Drop(window, {Nested("small.txt"), TestData("broken.crash\\a.txt"), Nested("docs\\readme.txt")});
    PumpUntil([] { return App().BalloonsShown == 1 && Jobs() == 0 && !App().Worker.Busy(); });
    EXPECT_TRUE(SameContents(out / "small.txt", TestData("expect\\small.txt")));
    EXPECT_TRUE(SameContents(out / "readme.txt", TestData("expect\\readme.txt")));
    EXPECT_EQ(out.EntryCount(), 2);
    EXPECT_NE(TrayText(App().Tray.szInfo).find("crash.spi"), std::string::npos) << TrayText(App().Tray.szInfo);
    EXPECT_TRUE(::IsWindow(window));
}

TEST_F(WorkerTest, TheRunningLineAndTheTipFollowTheJob) {
    const PluginFolder slow{"zip.spi", "quirky\\slowsteps.spi"};
    susie.SetPath(slow.Path());
    HWND window = Start(kContinuous);
    Drop(window, {TestData("slow.zip\\inner.slow\\docs\\readme.txt"), TestData("inner.zip\\small.txt")});
    const auto tip = [] { return TrayText(App().Tray.szTip); };
    // Part-way through the second level of two: the line shows it, and so does the tip.
    PumpUntil([&] { return App().Running && App().Running->Level == 2 && App().Running->Percent() > 50; });
    EXPECT_EQ(App().Running->Levels, 2);
    EXPECT_EQ(Lines(), 2);
    EXPECT_EQ(tip().rfind("Kelvane - 解凍中 ", 0), 0u) << tip();
    EXPECT_NE(tip(), "Kelvane - 解凍中 0%");
    PumpUntil([] { return !App().Worker.Busy() && Jobs() == 0 && Lines() == 0; });
    EXPECT_EQ(tip(), "Kelvane");
    EXPECT_TRUE(SameContents(out / "readme.txt", TestData("expect\\readme.txt")));
}

TEST_F(WorkerTest, ExtractSelectedLeavesTheWindowFreeAndStopsOnCommand) {
    HWND window = Start(kPaused, true);
    Drop(window, {Nested("small.txt"), TestData("stuck.hang\\a.txt")});
    PumpPending();
    ::SendMessageA(App().JobList, LB_SETCURSEL, 1, 0);
    // The hanging job runs on the worker: the command returns at once, and the window goes on.
    const ULONGLONG asked = ::GetTickCount64();
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXTRACT, 0), 0);
    EXPECT_LT(::GetTickCount64() - asked, 100u);
    PumpUntil([] { return App().Running.has_value() && App().Host->RunningMs() > 200; });
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_CANCELRUNNING, 0), 0);
    PumpUntil([] { return !App().Worker.Busy() && !App().Running; });
    EXPECT_EQ(Jobs(), 1);
    EXPECT_EQ(App().Failures.Unseen(), 0);
    EXPECT_EQ(out.EntryCount(), 0);
}

TEST_F(WorkerTest, CancelAllEndsAJobStuckInAPluginAndLaterJobsRun) {
    HWND window = Start(kContinuous, true);
    Drop(window, {TestData("stuck.hang\\a.txt"), Nested("small.txt")});
    PumpUntil([] { return App().Worker.Busy() && Jobs() == 1; });
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_PAUSE, 0), 0);
    // The queue empties at once; the running job is asked to stop, and this plug-in never listens:
    // its host is ended about two seconds later, and the job's line goes with the job.
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_CANCELALL, 0), 0);
    EXPECT_EQ(Jobs(), 0);
    EXPECT_EQ(Lines(), 1);
    PumpUntil([] { return !App().Worker.Busy() && Lines() == 0; });
    PumpPending();
    EXPECT_EQ(App().Failures.Unseen(), 0) << "a canceled job is no failure";
    Drop(window, {Nested("small.txt")});
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_CONTINUOUS, 0), 0);
    PumpUntil([] { return Jobs() == 0 && !App().Worker.Busy(); });
    EXPECT_TRUE(SameContents(out / "small.txt", TestData("expect\\small.txt")));
}

// A WM_RUNNEXT that comes between the worker's end of a job and the window's hearing of it starts
// nothing before that end is taken: every running job has its line, and a job's end takes only its own.
TEST_F(WorkerTest, EveryRunningJobKeepsItsLineWhateverOrderTheMessagesCome) {
    HWND window = Start(kContinuous, true);
    auto engine = App().Host->LockForExtraction();
    Drop(window, {Nested("small.txt"), Nested("big.bin")});
    PumpUntil([] { return App().Worker.Busy() && Jobs() == 1; });
    ::PostMessageA(window, WM_RUNNEXT, 0, 0);  // as an intake's, ahead of the job's end
    engine.unlock();
    ASSERT_TRUE(WaitUntilFree());
    engine.lock();
    PumpUntil([] { return App().Worker.Busy() && Jobs() == 0; });
    ASSERT_TRUE(App().Running);
    EXPECT_EQ(App().Running->Job.Source, Nested("big.bin"));
    EXPECT_EQ(Lines(), 1);
    engine.unlock();
    PumpUntil([] { return !App().Worker.Busy() && !App().Running && Lines() == 0; });
    EXPECT_TRUE(SameContents(out / "big.bin", TestData("expect\\big.bin")));
}

// Any process on the desktop can post the worker's messages: forged ones free nothing, end no line
// and choose no job.
TEST_F(WorkerTest, ForgedWorkerMessagesChangeNothing) {
    HWND window = Start(kPaused, true);
    Drop(window, {Nested("small.txt"), Nested("big.bin"), Nested("docs\\readme.txt")});
    PumpPending();
    auto engine = App().Host->LockForExtraction();
    ::SendMessageA(window, WM_JOBFINISHED, 7, 0x10);
    App().Worker.RunMode = kContinuous;
    ::SendMessageA(window, WM_RUNNEXT, 0, 2);
    ASSERT_TRUE(App().Running);
    EXPECT_EQ(App().Running->Job.Source, Nested("small.txt")) << "the front job, whatever the message says";
    ::SendMessageA(window, WM_JOBFINISHED, static_cast<WPARAM>(App().Running->Number), 0x10);
    EXPECT_TRUE(App().Running) << "ended before its job did";
    EXPECT_EQ(Lines(), 3);
    engine.unlock();
    PumpUntil([] { return Jobs() == 0 && !App().Worker.Busy() && !App().Running; });
    EXPECT_EQ(App().Failures.Unseen(), 0);
}

// A job whose WM_JOBFINISHED never came (its post failed) still ends its line, and its failure is told.
TEST_F(WorkerTest, AJobWhoseEndMessageWasLostStillEndsItsLine) {
    HWND window = Start(kPaused, true);
    Drop(window, {TestData("no-such.zip\\gone.txt")});
    PumpPending();
    auto engine = App().Host->LockForExtraction();
    ::SendMessageA(App().JobList, LB_SETCURSEL, 0, 0);
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXTRACT, 0), 0);
    ASSERT_TRUE(App().Running);
    engine.unlock();
    ASSERT_TRUE(WaitUntilFree());
    MSG lost;
    EXPECT_TRUE(::PeekMessageA(&lost, window, WM_JOBFINISHED, WM_JOBFINISHED, PM_REMOVE));
    PumpUntil([] { return !App().Running && App().Failures.Unseen() == 1; });
    EXPECT_EQ(Lines(), 0);
}

// The job that extract-selected put in front, deleted before it ran, leaves no choice behind: in
// paused mode the next job does not start by itself.
TEST_F(WorkerTest, DeletingTheJobChosenToRunNextLeavesNoChoiceBehind) {
    HWND window = Start(kPaused, true);
    Drop(window, {Nested("small.txt"), Nested("big.bin"), Nested("docs\\readme.txt")});
    PumpPending();
    {
        auto engine = App().Host->LockForExtraction();
        for (const int line : {0, 2}) {
            ::SendMessageA(App().JobList, LB_SETCURSEL, line, 0);
            ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXTRACT, 0), 0);
        }
        ASSERT_EQ(App().Queue->GetSource(0), Nested("docs\\readme.txt"));
        ::SendMessageA(App().JobList, LB_SETCURSEL, 1, 0);
        ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_DELETE, 0), 0);
        ASSERT_EQ(Jobs(), 1);
    }
    PumpUntil([] { return !App().Worker.Busy() && !App().Running; });
    PumpPending();
    EXPECT_EQ(Jobs(), 1) << "a job started unasked";
    EXPECT_FALSE(App().Worker.Busy());
}

// Susie's folder holds, besides tar and ZIP, a plug-in whose loading never returns, so that every
// host stalls in its start. The folder outlives the hosts (TearDown ends them).
class StallingWorkerTest : public WorkerTest {
protected:
    void SetUp() override {
        WorkerTest::SetUp();
        susie.SetPath(plugins.Path());
    }
    PluginFolder plugins{"tar.spi", "zip.spi", "stalling\\stall.spi"};
};

// Cancel-all reaches a host stuck in its start. The user's cancels count nothing against the
// plug-in; only the start's own bound, a hang, does.
TEST_F(StallingWorkerTest, CancelAllEndsAHostStuckInItsStartAndCountsNothing) {
    HWND window = Start(kPaused, true);
    const auto runOne = [&] {
        Drop(window, {Nested("small.txt")});
        ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_CONTINUOUS, 0), 0);
        PumpUntil([] { return App().Worker.Busy() && Jobs() == 0; });
        ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_PAUSE, 0), 0);
    };
    for (int end = 1; end <= TPluginHost::kCrashesBeforeSkipping; ++end) {
        SCOPED_TRACE(end);
        runOne();
        // The start counts as running: after two seconds cancel-all ends it.
        PumpUntil([] { return App().Host->RunningMs() > 2500; });
        ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_CANCELALL, 0), 0);
        PumpUntil([] { return !App().Worker.Busy(); });
    }
    EXPECT_EQ(out.EntryCount(), 0);
    PumpPending();
    EXPECT_EQ(App().Failures.Unseen(), 0) << "canceled jobs are no failures";
    App().Host->SetStartHangBound(300);
    runOne();
    PumpUntil([] { return !App().Worker.Busy() && App().Failures.Unseen() == 1; });
    EXPECT_EQ(out.EntryCount(), 0);
}

TEST_F(WorkerTest, BigBatchesEnterAndLeaveInOneStepInOrder) {
    HWND window = Start(kPaused, true);
    constexpr int kPaths = 10000;
    std::vector<std::string> paths;
    for (int i = 0; i < kPaths; ++i)
        paths.push_back("D:\\bulk\\pack.zip\\file" + std::to_string(i) + ".txt");
    const auto handOff = [&](const std::vector<std::string>& batch) {
        std::vector<char> block(*HandOffBlockSize("E:\\out", batch));
        ASSERT_TRUE(WriteHandOffBlock(block.data(), block.size(), "E:\\out", batch));
        App().Pending.Push(block);
        ::SendMessageA(window, WM_USER, 0, 0);
    };
    handOff({paths.begin(), paths.begin() + 3});
    ::SendMessageA(App().JobList, LB_SETCURSEL, 2, 0);
    handOff({paths.begin() + 3, paths.end()});
    ASSERT_EQ(Jobs(), kPaths);
    EXPECT_EQ(Lines(), kPaths);
    for (int i : {0, 2, 3, 4567, kPaths - 1})
        EXPECT_EQ(App().Queue->GetSource(i), paths[i]);
    // The selection stays where it was.
    EXPECT_EQ(::SendMessageA(App().JobList, LB_GETCURSEL, 0, 0), 2);
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_CANCELALL, 0), 0);
    EXPECT_EQ(Jobs(), 0);
    EXPECT_EQ(Lines(), 0);
}

// Both intakes take paths whole up to the bound; a path past it is told at once, as a failed job is,
// and never queued.
TEST_F(WorkerTest, PathsAreTakenWholeUpToTheBoundAndToldPastIt) {
    HWND window = Start(kPaused, true);
    const std::string atBound = "D:\\a.lzh\\" + std::string(kMaxJobPath - 13, 'x') + ".txt";
    const std::string past = "D:\\a.lzh\\" + std::string(kMaxJobPath, 'y') + "\\表.txt";
    ASSERT_EQ(atBound.size(), kMaxJobPath);
    Drop(window, {atBound, past});
    std::vector<char> block(*HandOffBlockSize("E:\\out", {past, atBound}));
    ASSERT_TRUE(WriteHandOffBlock(block.data(), block.size(), "E:\\out", {past, atBound}));
    App().Pending.Push(block);
    ::SendMessageA(window, WM_USER, 0, 0);
    ASSERT_EQ(Jobs(), 2);
    EXPECT_EQ(Lines(), 2);
    EXPECT_EQ(App().Queue->GetSource(0), atBound);
    EXPECT_EQ(App().Queue->GetSource(1), atBound);
    EXPECT_EQ(App().Failures.Unseen(), 2);
    PumpUntil([] { return App().BalloonsShown == 1; });
    std::string shown = TrayText(App().Tray.szInfo);
    std::erase(shown, '\n');
    TExtractOutcome tooLong;
    tooLong.Failure.Kind = TFailureKind::kPathTooLong;
    EXPECT_NE(shown.find("表.txt" + ShownAnsiFromUtf8(tooLong.Reason())), std::string::npos) << shown;
}

// Names outside the code page are queued and shown whole, through both intakes and into a folder
// outside it: none is carried under a lossy form (a best fit would make "café" the "cafe" beside it).
TEST_F(WorkerTest, NamesOutsideTheCodePageAreQueuedAndShownWhole) {
    HWND window = Start(kPaused, true);
    const std::vector<std::wstring> names = {L"D:\\a.zip\\caf\u00e9.txt", L"D:\\x\\\u8868.txt",
                                             L"C:\\in\\Zo\u00eb-\ud55c\uae00.zip\\\u00e9t\u00e9\\\ud55c\uad6d.txt"};
    const std::vector<std::wstring> lasts = {L"caf\u00e9.txt", L"\u8868.txt", L"\ud55c\uad6d.txt"};
    const std::wstring folder = L"E:\\Jos\u00e9";
    ASSERT_TRUE(SetDestinationFolder(window, Utf8(L"C:\\Users\\Jos\u00e9\\\ud55c\uae00")));
    EXPECT_EQ(WideWindowText(window), L"Kelvane - C:\\Users\\Jos\u00e9\\\ud55c\uae00");
    DropBytes(window, DropListBytes(names));
    std::vector<char> block(*HandOffBlockSize(folder, names));
    ASSERT_TRUE(WriteHandOffBlock(block.data(), block.size(), folder, names));
    App().Pending.Push(block);
    ::SendMessageA(window, WM_USER, 0, 0);
    ASSERT_EQ(Jobs(), 6);
    EXPECT_EQ(Lines(), 6);
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(i);
        const int dropped = static_cast<int>(i), handed = static_cast<int>(i + names.size());
        EXPECT_EQ(App().Queue->GetSource(dropped), Utf8(names[i]));
        EXPECT_EQ(App().Queue->GetDestination(dropped), Utf8(L"C:\\Users\\Jos\u00e9\\\ud55c\uae00\\" + lasts[i]));
        EXPECT_EQ(App().Queue->GetSource(handed), Utf8(names[i]));
        EXPECT_EQ(App().Queue->GetDestination(handed), Utf8(folder + L"\\" + lasts[i]));
        EXPECT_EQ(JobLineTexts(handed).Source, names[i]);
        EXPECT_EQ(JobLineTexts(handed).Second, L" -> " + folder + L"\\" + lasts[i]);
    }
    EXPECT_EQ(App().Failures.Unseen(), 0);
}

// Dropped on the window, a member named outside the code page comes out whole into a folder named so
// too, through the plug-in with wide entry points.
TEST_F(WorkerTest, ExtractsAMemberNamedOutsideTheCodePageIntoSuchAFolder) {
    susie.SetPath(SamplePlugin("wide"));
    HWND window = Start(kContinuous);
    const std::wstring folder = WideFromUtf8(out.Path()) + L"\\Jos\u00e9";
    const std::wstring file = folder + L"\\\ud55c\uad6d.txt";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(SetDestinationFolder(window, Utf8(folder)));
    DropBytes(window, DropListBytes(std::vector<std::wstring>{WideFromUtf8(TestData("wide.zip")) +
                                                              L"\\\u00e9t\u00e9\\\ud55c\uad6d.txt"}));
    PumpUntil([] { return Jobs() == 0 && !App().Worker.Busy() && !App().Running; });
    EXPECT_EQ(ReadWholeFile(Utf8(file)), "the member outside code page 932\r\n");
    EXPECT_EQ(App().Failures.Unseen(), 0);
    ::DeleteFileW(file.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

// A name with no exact form, a wide one with a surrogate without its pair or ANSI bytes that are no
// text in the code page, is told as a failed job is and never queued; the rest of its drop goes on.
TEST_F(WorkerTest, NamesWithNoExactFormAreToldNeverQueued) {
    HWND window = Start(kPaused, true);
    const std::wstring lone = L"D:\\a.zip\\\xd800x.txt";
    DropBytes(window, DropListBytes(std::vector<std::wstring>{lone, L"D:\\a.zip\\caf\u00e9.txt"}));
    std::vector<char> block(*HandOffBlockSize("E:\\tmp", {"D:\\a.zip\\b\x81", "D:\\a.zip\\c.txt"}));
    ASSERT_TRUE(WriteHandOffBlock(block.data(), block.size(), "E:\\tmp", {"D:\\a.zip\\b\x81", "D:\\a.zip\\c.txt"}));
    App().Pending.Push(block);
    ::SendMessageA(window, WM_USER, 0, 0);
    ASSERT_EQ(Jobs(), 2);
    EXPECT_EQ(App().Queue->GetSource(0), Utf8(L"D:\\a.zip\\caf\u00e9.txt"));
    EXPECT_EQ(App().Queue->GetSource(1), "D:\\a.zip\\c.txt");
    EXPECT_EQ(App().Failures.Unseen(), 2);
    PumpUntil([] { return App().BalloonsShown == 1; });
    TExtractOutcome refused;
    refused.Failure.Kind = TFailureKind::kNotInCodePage;
    std::wstring shown = App().Tray.szInfo;
    std::erase(shown, L'\n');
    EXPECT_NE(shown.find(WideFromUtf8(refused.Reason())), std::wstring::npos) << TrayText(App().Tray.szInfo);
}

TEST_F(WorkerTest, PausedIntakeShowsTheWindow) {
    HWND window = Start(kPaused);
    ASSERT_FALSE(::IsWindowVisible(window));
    Drop(window, {"D:\\data\\pack.lzh"});
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_TRUE(MenuEnabled(window, IDM_EXTRACT));
    EXPECT_EQ(App().Queue->GetSource(0), "D:\\data\\pack.lzh");
    EXPECT_EQ(App().Queue->GetDestination(0), out / "pack.lzh");
    EXPECT_EQ(Lines(), 1);
}

TEST_F(WorkerTest, HandOffUsesItsOwnFolder) {
    HWND window = Start(kPaused);
    const std::string title = WindowText(window);
    for (const char* folder : {"E:\\tmp", "F:\\"}) {
        std::vector<char> block(1024);
        ASSERT_TRUE(WriteHandOffBlock(block.data(), block.size(), folder,
                                      {"D:\\a.lzh\\docs\\inner.zip\\readme.txt", "D:\\x\\表.txt"}));
        App().Pending.Push(block);
    }
    ::SendMessageA(window, WM_USER, 0, 0);
    ::SendMessageA(window, WM_USER, 0, 0);
    ::SendMessageA(window, WM_USER, 0, 0);  // none left: nothing happens
    ASSERT_EQ(Jobs(), 4);
    EXPECT_EQ(App().Queue->GetSource(0), "D:\\a.lzh\\docs\\inner.zip\\readme.txt");
    EXPECT_EQ(App().Queue->GetDestination(0), "E:\\tmp\\readme.txt");
    // The ANSI form, as older senders write it: its names enter in their exact UTF-8 form.
    EXPECT_EQ(App().Queue->GetSource(1), Utf8Text("D:\\x\\表.txt"));
    EXPECT_EQ(App().Queue->GetDestination(1), Utf8Text("E:\\tmp\\表.txt"));
    EXPECT_EQ(App().Queue->GetDestination(3), Utf8Text("F:\\表.txt"));
    EXPECT_EQ(Lines(), 4);
    EXPECT_EQ(WindowText(window), title);
    EXPECT_EQ(App().DestinationFolder, out.Path());
    EXPECT_TRUE(::IsWindowVisible(window));
}

}  // namespace
