#include <gtest/gtest.h>

#include <string>

#include "base/Owned.h"
#include "engine/Archive.h"
#include "engine/KeptChain.h"
#include "engine/PluginList.h"
#include "tests/engine/TestEnv.h"

namespace {

class KeptChainTest : public ::testing::Test {
protected:
    void SetUp() override {
        plugins.SetFolder(SamplePlugin("counting"));
        ASSERT_EQ(plugins.Load(), 1);
        ASSERT_TRUE(::CopyFileA(TestData("kept-a.zip").c_str(), outer.c_str(), FALSE));
    }
    // How many GetFile calls the job took.
    LONG Calls(const std::string& member, TKeptChain* chain, TExtractOutcome* outcome = nullptr) {
        const LONG before = SampleGetFileCount();
        const TExtractOutcome done =
            ExtractPathOutcome(plugins, outer + "\\mid.zip\\" + member, out / member, nullptr, chain);
        EXPECT_TRUE(outcome || done.Succeeded()) << done.Describe();
        if (outcome)
            *outcome = done;
        return SampleGetFileCount() - before;
    }
    void SetLastWrite(const FILETIME& time) {
        UniqueHandle file(::CreateFileA(outer.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file && ::SetFileTime(file.Get(), nullptr, nullptr, &time));
    }
    FILETIME LastWrite() {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        EXPECT_TRUE(::GetFileAttributesExA(outer.c_str(), GetFileExInfoStandard, &data));
        return data.ftLastWriteTime;
    }
    LONGLONG ChangeTime() {
        UniqueHandle file(::CreateFileA(outer.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
        FILE_BASIC_INFO basic{};
        EXPECT_TRUE(file && ::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic));
        return basic.ChangeTime.QuadPart;
    }
    // Puts other bytes of the same size into the file itself, and its last-write time back.
    void RewriteInPlace(const std::string& from, const FILETIME& time) {
        const std::string bytes = ReadWholeFile(from);
        UniqueHandle file(::CreateFileA(outer.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(file &&
                    ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size());
        ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &time));
    }

    TPluginList plugins;
    ScratchFolder out;
    std::string outer = out / "outer.zip";
};

TEST_F(KeptChainTest, TakesTheMiddleLevelOutOnceForARunOfJobs) {
    TKeptChain chain;
    EXPECT_EQ(Calls("a.txt", &chain), 2);
    EXPECT_EQ(Calls("b.txt", &chain), 1);
    EXPECT_EQ(Calls("c.txt", &chain), 1);
    EXPECT_EQ(ReadWholeFile(out / "b.txt"), "second member\r\n");
    EXPECT_EQ(ReadWholeFile(out / "c.txt"), "old bytes\r\n");
    EXPECT_EQ(chain.Count(), 2u);
    EXPECT_GT(chain.KeptBytes(), 0u);
    // A failure inside a kept level reads as one from the disk.
    TExtractOutcome kept, fromDisk;
    Calls("missing.txt", &chain, &kept);
    Calls("missing.txt", nullptr, &fromDisk);
    EXPECT_EQ(kept.Describe(), fromDisk.Describe());
    EXPECT_EQ(kept.Failure.Plugin, "countzip.spi");
    chain.Release();
    EXPECT_TRUE(chain.Empty());
    EXPECT_EQ(chain.KeptBytes(), 0u);
}

TEST_F(KeptChainTest, ReadsAChangedOuterArchiveAgain) {
    TKeptChain chain;
    EXPECT_EQ(Calls("c.txt", &chain), 2);
    // Another file of the same size and time in its place: only its identity tells.
    const FILETIME written = LastWrite();
    const std::string other = out / "other.zip";
    ASSERT_TRUE(::CopyFileA(TestData("kept-b.zip").c_str(), other.c_str(), FALSE));
    ASSERT_TRUE(::MoveFileExA(other.c_str(), outer.c_str(), MOVEFILE_REPLACE_EXISTING));
    SetLastWrite(written);
    EXPECT_EQ(Calls("c.txt", &chain), 2);
    EXPECT_EQ(ReadWholeFile(out / "c.txt"), "new bytes\r\n");
    // The same file, touched.
    EXPECT_EQ(Calls("a.txt", &chain), 1);
    ULARGE_INTEGER later{{written.dwLowDateTime, written.dwHighDateTime}};
    later.QuadPart += 10'000'000;
    SetLastWrite({later.LowPart, later.HighPart});
    EXPECT_EQ(Calls("a.txt", &chain), 2);
    // The same file rewritten in place with bytes of its size, its last-write time put back: only its
    // change time tells. File times tick coarsely, so the time is put back until that has moved.
    const LONGLONG changed = ChangeTime();
    RewriteInPlace(TestData("kept-a.zip"), {later.LowPart, later.HighPart});
    for (const DWORD start = ::GetTickCount(); ChangeTime() == changed && ::GetTickCount() - start < 5000;)
        SetLastWrite({later.LowPart, later.HighPart});
    ASSERT_NE(ChangeTime(), changed);
    EXPECT_EQ(Calls("c.txt", &chain), 2);
    EXPECT_EQ(ReadWholeFile(out / "c.txt"), "old bytes\r\n");
}

TEST_F(KeptChainTest, KeepsNoLevelAboveTheBudget) {
    TKeptChain chain(64);
    EXPECT_EQ(Calls("a.txt", &chain), 2);
    EXPECT_EQ(Calls("b.txt", &chain), 2);
    EXPECT_EQ(ReadWholeFile(out / "b.txt"), "second member\r\n");
    EXPECT_EQ(chain.Count(), 1u);
    EXPECT_EQ(chain.KeptBytes(), 0u);
}

// A Unix folder may hold Pack.zip beside pack.zip, and an archive made there Data.zip beside data.zip;
// the sample plug-in tells those apart as such a file system does. Each job gets what it names.
TEST_F(KeptChainTest, ServesNoFileOrMemberWhoseNameDiffersInCaseOnly) {
    TKeptChain chain;
    for (const std::string level : {"Pack.zip\\Data.zip", "Pack.zip\\data.zip", "pack.zip\\data.zip",
                                    "pack.zip\\Data.zip", "Pack.zip\\Data.zip"}) {
        SCOPED_TRACE(level);
        const TExtractOutcome outcome =
            ExtractPathOutcome(plugins, TestData("cased\\" + level + "\\m.txt"), out / "m.txt", nullptr, &chain);
        ASSERT_TRUE(outcome.Succeeded()) << outcome.Describe();
        EXPECT_EQ(ReadWholeFile(out / "m.txt"), level + "\r\n");
    }
}

// A kept archive of a plug-in that knows members in folders by "/" alone: a member at its root whose
// name holds a trail byte equal to '\' (ソ, 83 5C) shows nothing of that, so a member in a folder is
// still found.
TEST(KeptChain, FindsAMemberInAFolderOfAKeptSlashArchiveAfterARootNameWithA5CTrailByte) {
    PluginFolder folder{"quirky\\slashesnolist.spi"};
    TPluginList plugins;
    plugins.SetFolder(folder.Path());
    ASSERT_EQ(plugins.Load(), 1);
    ScratchFolder out;
    TKeptChain chain;
    ASSERT_TRUE(ExtractPathOutcome(plugins, TestData(U("slashes.utar\\ソ.txt")), out / "a", nullptr, &chain).Succeeded());
    const TExtractOutcome inFolder =
        ExtractPathOutcome(plugins, TestData(U("slashes.utar\\表\\ソ.txt")), out / "b", nullptr, &chain);
    ASSERT_TRUE(inFolder.Succeeded()) << inFolder.Describe();
    EXPECT_EQ(ReadWholeFile(out / "b"), ReadWholeFile(TestData(U("expect\\表.txt"))));
    EXPECT_EQ(chain.Count(), 1u);
}

TEST(KeptChain, HoldsNoHandleOnAKeptCopyAndRemovesItOnRelease) {
    PluginFolder folder{"zip.spi", "quirky\\exclusive.spi"};
    TPluginList plugins;
    plugins.SetFolder(folder.Path());
    ASSERT_EQ(plugins.Load(), 2);
    ScratchFolder out;
    TKeptChain chain;
    ASSERT_TRUE(ExtractPathOutcome(plugins, TestData("quirks.zip\\inner.xtar\\small.txt"), out / "a", nullptr, &chain)
                    .Succeeded());
    // The plug-in refuses memory and opens its archive with no sharing: the level is read from its
    // temporary copy, kept with it, and the second job opens that copy again.
    ASSERT_EQ(EngineTemporaries(), 1);
    ASSERT_TRUE(
        ExtractPathOutcome(plugins, TestData("quirks.zip\\inner.xtar\\docs\\readme.txt"), out / "b", nullptr, &chain)
            .Succeeded());
    EXPECT_EQ(ReadWholeFile(out / "b"), ReadWholeFile(TestData("expect\\readme.txt")));
    chain.Release();
    EXPECT_EQ(EngineTemporaries(), 0);
}

}  // namespace
