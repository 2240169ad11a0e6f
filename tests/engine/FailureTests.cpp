// Every kind of failure names the part of the path, its archive and the plug-in, and leaves
// nothing behind.
#include <gtest/gtest.h>

#include <string>

#include "engine/Archive.h"
#include "engine/JobPaths.h"
#include "engine/PluginList.h"
#include "tests/engine/TestEnv.h"

namespace {

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                      static_cast<int>(wide.size())));
    return wide;
}

// A copy at a path beyond the ANSI functions' limit, made and removed through the wide ones.
class LongPathCopy {
public:
    LongPathCopy(const std::string& from, const std::string& path) : path_(L"\\\\?\\" + Wide(path)) {
        EXPECT_TRUE(::CopyFileW(Wide(from).c_str(), path_.c_str(), FALSE));
    }
    ~LongPathCopy() { ::DeleteFileW(path_.c_str()); }
    LongPathCopy(const LongPathCopy&) = delete;
    LongPathCopy& operator=(const LongPathCopy&) = delete;

private:
    std::wstring path_;
};

class FailureTest : public ::testing::Test {
protected:
    void UsePlugins(const std::string& folder) {
        plugins.SetFolder(folder);
        ASSERT_GT(plugins.Load(), 0);
    }
    TExtractOutcome Extract(const std::string& source, const std::string& dest = "out.bin") {
        TExtractOutcome outcome = ExtractPathOutcome(plugins, source, out / dest);
        EXPECT_FALSE(outcome.Succeeded());
        EXPECT_EQ(out.EntryCount(), 0);
        EXPECT_FALSE(outcome.Describe().empty());
        return outcome;
    }

    TPluginList plugins;
    ScratchFolder out;
};

TEST_F(FailureTest, NamesWhatIsNotFound) {
    UsePlugins(SamplePlugin(""));
    const TExtractOutcome noFile = Extract(TestData("no-such.zip\\a.txt"));
    EXPECT_EQ(noFile.Failure.Kind, TFailureKind::kNotFound);
    EXPECT_EQ(noFile.Container, "");
    EXPECT_EQ(noFile.Component, TestData("no-such.zip\\a.txt"));

    const TExtractOutcome noMember = Extract(TestData("outer.zip\\mid.tar\\pack\\nothing.txt"));
    EXPECT_EQ(noMember.Failure.Kind, TFailureKind::kNotFound);
    EXPECT_EQ(noMember.Container, TestData("outer.zip\\mid.tar"));
    EXPECT_EQ(noMember.Component, "pack\\nothing.txt");
    EXPECT_EQ(noMember.Failure.Plugin, "tar.spi");
}

TEST_F(FailureTest, NamesTheArchiveNoPluginAccepts) {
    UsePlugins(SamplePlugin(""));
    const TExtractOutcome outcome = Extract(TestData("outer.zip\\ReadMe.txt\\member.txt"));
    EXPECT_EQ(outcome.Failure.Kind, TFailureKind::kNoPlugin);
    EXPECT_EQ(outcome.Container, TestData("outer.zip"));
    EXPECT_EQ(outcome.Component, "ReadMe.txt");
    EXPECT_EQ(outcome.Failure.Plugin, "");
}

TEST_F(FailureTest, NamesThePluginAndItsError) {
    struct Case {
        const char* plugin;
        TFailureKind kind;
        int code;
    };
    for (const Case& c : {Case{"faulty\\getfilefails.spi", TFailureKind::kPluginError, 1},
                          Case{"faulty\\shortblock.spi", TFailureKind::kShortBlock, 0},
                          Case{"faulty\\acceptall-nogetfile.spi", TFailureKind::kPluginIncomplete, 0}}) {
        SCOPED_TRACE(c.plugin);
        PluginFolder folder({c.plugin});
        UsePlugins(folder.Path());
        const TExtractOutcome outcome = Extract(TestData("simple.tar\\a.txt"));
        EXPECT_EQ(outcome.Failure.Kind, c.kind);
        EXPECT_EQ(outcome.Failure.PluginCode, c.code);
        EXPECT_EQ(outcome.Failure.Plugin, std::string(c.plugin).substr(7));
        // Susie's codes are named.
        if (c.code == 1) {
            EXPECT_NE(outcome.Describe().find(U("エラー 1 を返しました (中断されました)")), std::string::npos);
        }
    }
}

TEST_F(FailureTest, NamesTheDestinationThatCannotBeWritten) {
    UsePlugins(SamplePlugin(""));
    for (const char* source : {"plain.txt", "simple.tar\\a.txt", "outer.zip\\mid.tar\\pack\\note.txt"}) {
        SCOPED_TRACE(source);
        const TExtractOutcome outcome = Extract(TestData(source), "no-such-folder\\out.bin");
        EXPECT_EQ(outcome.Failure.Kind, TFailureKind::kCannotWrite);
        EXPECT_EQ(outcome.Component, out / "no-such-folder\\out.bin");
        EXPECT_NE(outcome.Failure.Win32Error, 0u);
    }
}

// A member is taken out into memory, where sizes count 32 bits: one of 4 GiB or more fails naming
// the limit, not as an internal error.
TEST(MemberSizeTest, AMemberTooLargeForMemorySaysTheLimit) {
    constexpr uint64_t k4GiB = uint64_t{1} << 32;
    EXPECT_EQ(MemoryMemberFailure(k4GiB - 1), TFailureKind::kNone);
    for (const uint64_t size : {k4GiB, k4GiB + 1}) {
        TExtractOutcome outcome;
        outcome.Failure.Kind = MemoryMemberFailure(size);
        outcome.Component = "huge.tar";
        outcome.Container = "D:\\big.7z";
        EXPECT_EQ(outcome.Describe(),
                  U("D:\\big.7z の中の huge.tar: 大きすぎてメモリーに取り出せません (4 GiB 未満まで)"));
    }
}

// Paths inside archives may be long; beyond the bound, or where the part on disk is beyond Windows'
// limit, the job fails saying so.
TEST_F(FailureTest, SaysWhichPathIsTooLong) {
    UsePlugins(SamplePlugin(""));
    const std::string zip = TestData("inner.zip\\");
    const std::string atBound = zip + std::string(kMaxJobPath - zip.size(), 'x');
    EXPECT_EQ(Extract(atBound).Failure.Kind, TFailureKind::kNotFound);
    const TExtractOutcome overBound = Extract(atBound + "x");
    EXPECT_EQ(overBound.Failure.Kind, TFailureKind::kPathTooLong);
    EXPECT_EQ(overBound.Component, atBound + "x");
    EXPECT_EQ(overBound.Reason(), U("パスが長すぎます (48000 バイトまで)"));

    // An archive in a folder that is there, at a path of more than 259 characters.
    ScratchFolder disk;
    const std::string folder = disk / std::string(240 - disk.Path().size(), 'd');
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    const std::string archive = folder + "\\" + std::string(30, 'n') + ".zip";
    const LongPathCopy copy(TestData("inner.zip"), archive);
    const TExtractOutcome onDisk = Extract(archive + "\\small.txt");
    EXPECT_EQ(onDisk.Failure.Kind, TFailureKind::kDiskPathTooLong);
    EXPECT_EQ(onDisk.Component, archive);
    EXPECT_EQ(onDisk.Reason(), U("ディスク上のパスが長すぎます (259 文字まで)"));
    // Without the folder, the path is simply not there.
    EXPECT_EQ(Extract(disk / "none\\" + archive.substr(disk.Path().size()) + "\\small.txt").Failure.Kind,
              TFailureKind::kNotFound);

    // Destinations are written past the limit, through the \\?\ form; so is a temporary file beside one.
    const std::string destination = std::string(260 - out.Path().size(), 'n');
    const TExtractOutcome written = ExtractPathOutcome(plugins, TestData("inner.zip\\small.txt"), out / destination);
    EXPECT_TRUE(written.Succeeded()) << written.Describe();
    EXPECT_EQ(ReadWholeFile(out / destination), ReadWholeFile(TestData("expect\\small.txt")));
    const std::string crowded = disk / std::string(250 - disk.Path().size() - 1, 'c');
    ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + Wide(crowded)).c_str(), nullptr));
    const TExtractOutcome beside = ExtractPathOutcome(plugins, TestData("inner.zip\\small.txt"), crowded + "\\a");
    EXPECT_TRUE(beside.Succeeded()) << beside.Describe();
}

}  // namespace
