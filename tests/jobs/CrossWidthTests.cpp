// Jobs whose levels need plug-ins of both widths go from one host to the other and back, level by
// level, in memory or through the temporary copy a plug-in that reads only files needs; progress,
// cancel, failures and crashes read as in one host, and nothing is left behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/PathText.h"
#include "base/ModulePath.h"
#include "base/Owned.h"
#include "base/WideText.h"
#include "engine/Progress.h"
#include "engine/ListingSink.h"
#include "jobs/PluginHosts.h"
#include "tests/engine/TestEnv.h"

namespace {

// Canceled once the job has reported a level of at least the given one.
class TCancelAtLevel final : public TProgress {
public:
    explicit TCancelAtLevel(int level) : Level(level) {}
    void Report(int level, int levels, double) override { Last = {level, levels}; }
    bool Canceled() const override { return Last.first >= Level; }

    std::pair<int, int> Last;

private:
    int Level;
};

class CrossWidthTest : public ::testing::Test {
protected:
    void SetUp() override { temporaries = TemporariesOfAnyone(); }
    void TearDown() override {
        // A host's level file goes with the host's handles, once the ended process has closed them;
        // the copies its kept levels read from, as its end is seen.
        hosts->Terminate();
        hosts.reset();
        const ULONGLONG until = ::GetTickCount64() + 10000;
        while (TemporariesOfAnyone() != temporaries && ::GetTickCount64() < until)
            ::Sleep(50);
        EXPECT_EQ(TemporariesOfAnyone(), temporaries);
    }

    SusieSettings susie;
    ScratchFolder out;
    std::optional<TPluginHosts> hosts{std::in_place, ProgramFolder() + kHostFileName,
                                      ProgramFolder() + kHost64FileName};
    int temporaries = 0;
};

TEST_F(CrossWidthTest, ChainsCrossBothWaysInMemoryAndThroughTemporaryCopies) {
    struct TCase {
        std::vector<const char*> Plugins;
        std::string Source;
    };
    const TCase cases[] = {
        // .spi -> .sph -> .spi, the middle level from memory, then from a copy on disk.
        {{"zip.spi", "tar.sph"}, U("表連鎖.zip\\表\\中.tar\\ソ\\内.zip\\表.txt")},
        {{"zip.spi", "quirky\\exclusive.sph"}, U("表連鎖.zip\\表\\中.xtar\\ソ\\内.zip\\表.txt")},
        // .sph -> .spi, the inner level from memory, then from a copy on disk.
        {{"tar.sph", "zip.spi"}, U("表連鎖.tar\\ソ\\内.zip\\表.txt")},
        {{"quirky\\exclusive.sph", "quirky\\diskonly.spi"}, U("表連鎖.xtar\\ソ\\内.dtar\\表.txt")},
        // Real plug-ins' ways with the crossed level and the one inside it (see RealPluginLevelsTest).
        {{"tar.spi", "quirky\\threadlist.sph"}, "levels.tar\\inner.tzip\\pack\\deeper.tzip\\docs\\readme.txt"},
        {{"tar.spi", "quirky\\memcrash.sph"}, "levels.tar\\inner.mzip\\pack\\deeper.mzip\\docs\\readme.txt"},
        {{"tar.spi", "quirky\\memcrashunlisted.sph"}, "levels.tar\\inner.vzip\\pack\\deeper.vzip\\docs\\readme.txt"},
    };
    for (const TCase& job : cases) {
        SCOPED_TRACE(job.Source);
        PluginFolder folder(job.Plugins);
        susie.SetPath(folder.Path());
        std::string leaf, inside = job.Source;
        SplitLastComponent(inside, leaf);
        const TExtractOutcome outcome = hosts->Extract(TestData(job.Source), out / leaf);
        ASSERT_TRUE(outcome.Succeeded()) << outcome.Describe();
        EXPECT_TRUE(SameContents(out / leaf, TestData("expect\\" + leaf)));
        ASSERT_TRUE(::DeleteFileW(WideFromUtf8(out / leaf).c_str()));
        // The hosts let go of the folder before it goes.
        hosts->Terminate();
    }
}

// A level that a plug-in of the host that took it out reads stays in that host: where both widths
// read the whole chain, the 64-bit host is never started.
TEST_F(CrossWidthTest, TheHostThatTookALevelOutAsksFirst) {
    PluginFolder folder{"zip.spi", "tar.spi", "zip.sph", "tar.sph"};
    susie.SetPath(folder.Path());
    const std::vector<DWORD> before = RunningChildIds(kHost64FileName);
    ASSERT_TRUE(hosts->Extract(TestData(U("表連鎖.zip\\表\\中.tar\\ソ\\内.zip\\表.txt")), out / U("表.txt")).Succeeded());
    EXPECT_NE(RunningChildId(kHostFileName), 0u);
    EXPECT_EQ(RunningChildIds(kHost64FileName), before) << "no 64-bit host was started";
}

// A run of jobs under a level that crossed takes it out of the outer archive and hands its bytes on
// once: the other host keeps them, and later jobs go on there from it. A changed outer archive is read
// again, and a host that no longer keeps the level has it handed on again with its bytes.
TEST_F(CrossWidthTest, ARunOfJobsUnderACrossedLevelHandsItsBytesOnOnce) {
    PluginFolder folder{"counting\\countzip.spi", "tar.sph"};
    susie.SetPath(folder.Path());
    ScratchFolder archives;
    const std::string outer = archives / "outer.zip";
    ASSERT_TRUE(::CopyFileA(TestData("kept-tar-a.zip").c_str(), outer.c_str(), FALSE));
    const auto getFiles = [&](const char* member) {
        const LONG before = SampleGetFileCount();
        const TExtractOutcome outcome = hosts->Extract(outer + "\\mid.tar\\" + member, out / member);
        EXPECT_TRUE(outcome.Succeeded()) << outcome.Describe();
        return SampleGetFileCount() - before;
    };
    EXPECT_EQ(getFiles("a.txt"), 1);
    EXPECT_EQ(getFiles("b.txt"), 0);
    EXPECT_EQ(getFiles("c.txt"), 0);
    EXPECT_EQ(ReadWholeFile(out / "a.txt"), "first member\r\n");
    EXPECT_EQ(ReadWholeFile(out / "b.txt"), "second member\r\n");
    EXPECT_EQ(ReadWholeFile(out / "c.txt"), "old bytes\r\n");

    // Another archive of the same size in its place, written later.
    WIN32_FILE_ATTRIBUTE_DATA was{};
    ASSERT_TRUE(::GetFileAttributesExA(outer.c_str(), GetFileExInfoStandard, &was));
    ASSERT_TRUE(::CopyFileA(TestData("kept-tar-b.zip").c_str(), outer.c_str(), FALSE));
    ULARGE_INTEGER later{{was.ftLastWriteTime.dwLowDateTime, was.ftLastWriteTime.dwHighDateTime}};
    later.QuadPart += 10'000'000;
    const FILETIME written{later.LowPart, later.HighPart};
    {
        UniqueHandle file(::CreateFileA(outer.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file && ::SetFileTime(file.Get(), nullptr, nullptr, &written));
    }
    EXPECT_EQ(getFiles("c.txt"), 1);
    EXPECT_EQ(ReadWholeFile(out / "c.txt"), "new bytes\r\n");

    // The 64-bit host ended while idle: its successor keeps nothing, so the job goes again from the
    // start and the level crosses with its bytes, to be kept there from then on.
    UniqueHandle wide(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, RunningChildId(kHost64FileName)));
    ASSERT_TRUE(wide && ::TerminateProcess(wide.Get(), 1));
    ASSERT_EQ(::WaitForSingleObject(wide.Get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(getFiles("b.txt"), 1);
    EXPECT_EQ(getFiles("a.txt"), 0);
    EXPECT_EQ(ReadWholeFile(out / "a.txt"), "first member\r\n");
}

// A warm-up ended once the 32-bit host has started (the cancel of the job that waits for it, or the
// program's exit) starts no 64-bit host after it.
TEST_F(CrossWidthTest, AWarmUpEndedAfterTheFirstStartStartsNoSecond) {
    PluginFolder folder{"zip.spi", "zip.sph"};
    susie.SetPath(folder.Path());
    struct TOnceNarrowRuns final : TProgress {
        void Report(int, int, double) override {}
        bool Canceled() const override { return RunningChildId(kHostFileName) != 0; }
    } ended;
    EXPECT_FALSE(hosts->WarmUp(&ended));
    EXPECT_EQ(RunningChildId(kHost64FileName), 0u);
}

// Inside the 64-bit host, a failure names its level, plug-in and reason, a crash costs one job and
// names the plug-in, and a cancel leaves nothing. Where Windows runs no 64-bit programs, a job that
// only a .sph could read says so.
TEST_F(CrossWidthTest, FailuresCrashesAndCancelsInTheOtherHostReadAsInOne) {
    PluginFolder folder{"zip.spi", "tar.sph", "crash.sph", "quirky\\slowsteps.sph"};
    susie.SetPath(folder.Path());
    const TExtractOutcome missing = hosts->Extract(TestData(U("表連鎖.zip\\表\\中.tar\\ソ\\無い.zip\\表.txt")), out / "a.txt");
    EXPECT_EQ(missing.Failure.Kind, TFailureKind::kNotFound);
    EXPECT_EQ(missing.Failure.Plugin, "tar.sph");
    EXPECT_EQ(missing.Container, TestData(U("表連鎖.zip\\表\\中.tar")));
    EXPECT_EQ(missing.Component, U("ソ\\無い.zip\\表.txt"));
    // A short level handed on after a tar shows the plug-ins nothing of the tar ("ustar" at 257).
    const TExtractOutcome shortLevel = hosts->Extract(TestData(U("表連鎖.zip\\表\\小.bin\\a.txt")), out / "a.txt");
    EXPECT_EQ(shortLevel.Failure.Kind, TFailureKind::kNoPlugin) << shortLevel.Describe();

    const TExtractOutcome crashed = hosts->Extract(TestData("crashes.zip\\inner.crash\\a.txt"), out / "b.txt");
    EXPECT_EQ(crashed.Failure.Kind, TFailureKind::kPluginCrashed);
    EXPECT_EQ(crashed.Failure.Plugin, "crash.sph");

    // The 64-bit host counts on from the level it was handed.
    TCancelAtLevel cancelInside(2);
    const TExtractOutcome canceled = hosts->Extract(TestData("slow.zip\\inner.slow\\docs\\readme.txt"), out / "c.txt",
                                                   &cancelInside);
    EXPECT_EQ(cancelInside.Last, std::make_pair(2, 2));
    EXPECT_EQ(canceled.Failure.Kind, TFailureKind::kCanceled);
    EXPECT_EQ(canceled.Component, TestData("slow.zip\\inner.slow\\docs\\readme.txt"));

    ASSERT_TRUE(hosts->Extract(TestData(U("表連鎖.zip\\表\\中.tar\\ソ\\内.zip\\表.txt")), out / U("表.txt")).Succeeded());
    EXPECT_EQ(out.EntryCount(), 1);

    TPluginHosts narrowOnly(ProgramFolder() + kHostFileName, "");
    const TExtractOutcome unusable = narrowOnly.Extract(TestData(U("表連鎖.zip\\表\\中.tar\\ソ\\内.zip\\表.txt")), out / "d.txt");
    EXPECT_EQ(unusable.Failure.Kind, TFailureKind::kNoPlugin);
    EXPECT_NE(unusable.Reason().find("tar.sph"), std::string::npos) << unusable.Reason();
    narrowOnly.Terminate();
}

// A listing crosses the widths as a job does, its pieces across the channel; one whose plug-in
// crashes while it lists costs that listing alone, as an extraction's crash would.
TEST_F(CrossWidthTest, ListsAcrossBothWidthsAndAPlugInThatCrashesListingCostsThatListing) {
    PluginFolder folder{"zip.spi", "tar.sph"};
    susie.SetPath(folder.Path());
    TListingInMemory listed;
    const TExtractOutcome outcome = hosts->List(TestData(U("表連鎖.zip\\表\\中.tar")), listed);
    ASSERT_TRUE(outcome.Succeeded()) << outcome.Describe();
    EXPECT_EQ(listed.Plugin, "tar.sph");
    ASSERT_EQ(listed.Entries.size(), 1u);
    EXPECT_EQ(listed.Entries[0].Name, U("ソ\\内.zip"));
    // Back into the 32-bit host for the zip inside.
    ASSERT_TRUE(hosts->List(TestData(U("表連鎖.zip\\表\\中.tar\\ソ\\内.zip")), listed).Succeeded());
    EXPECT_EQ(listed.Plugin, "zip.spi");
    ASSERT_EQ(listed.Entries.size(), 1u);
    EXPECT_EQ(listed.Entries[0].Name, U("表.txt"));

    PluginFolder crashing{"zip.spi", "listing-crash\\listcrash.sph"};
    susie.SetPath(crashing.Path());
    const TExtractOutcome crashed = hosts->List(TestData("broken.lcrash"), listed);
    EXPECT_EQ(crashed.Failure.Kind, TFailureKind::kPluginCrashed) << crashed.Describe();
    EXPECT_EQ(crashed.Failure.Plugin, "listcrash.sph");
    EXPECT_TRUE(hosts->List(TestData("outer.zip"), listed).Succeeded());
    EXPECT_EQ(listed.Entries.size(), 2u);
}

}  // namespace
