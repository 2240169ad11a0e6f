#include <gtest/gtest.h>

#include <string>

#include "base/PathText.h"
#include "base/Owned.h"
#include "base/WideText.h"
#include "engine/Archive.h"
#include "engine/DestinationName.h"
#include "engine/PluginList.h"
#include "tests/engine/TestEnv.h"

namespace {

class ExtractTest : public ::testing::Test {
protected:
    void SetUp() override { UsePlugins(SamplePlugin("")); }
    void UsePlugins(const std::string& folder) {
        plugins.SetFolder(folder);
        ASSERT_GT(plugins.Load(), 0);
    }
    bool Extract(const std::string& source, const std::string& dest = "out.bin") {
        return ExtractPath(plugins, source, out / dest);
    }
    std::string Result(const std::string& dest = "out.bin") { return ReadWholeFile(out / dest); }
    std::string Expected(const std::string& name) { return ReadWholeFile(TestData("expect\\" + name)); }

    TPluginList plugins;
    ScratchFolder out;
};

TEST_F(ExtractTest, CopiesPlainFilesWhole) {
    ASSERT_TRUE(Extract(TestData("plain.txt")));
    EXPECT_EQ(Result(), ReadWholeFile(TestData("plain.txt")));
    // A trailing separator leaves an empty last component: the archive file itself is copied.
    ASSERT_TRUE(Extract(TestData("outer.zip\\"), "outer.zip"));
    EXPECT_EQ(Result("outer.zip"), ReadWholeFile(TestData("outer.zip")));
    // An empty file cannot be mapped, but copies to an empty file all the same.
    ASSERT_TRUE(Extract(TestData("empty.bin"), "empty.bin"));
    EXPECT_TRUE(FileExists(out / "empty.bin"));
    EXPECT_EQ(Result("empty.bin"), "");
}

TEST_F(ExtractTest, ResolvesMembersThroughNestedArchives) {
    const std::string inner = TestData("outer.zip\\mid.tar\\pack\\inner.zip");
    ASSERT_TRUE(Extract(inner + "\\docs\\readme.txt"));
    EXPECT_EQ(Result(), Expected("readme.txt"));
    // Members are matched without regard to case at every level.
    ASSERT_TRUE(Extract(TestData("OUTER.ZIP\\Mid.Tar\\PACK\\Inner.zip\\DOCS\\ReadMe.TXT"), "case.txt"));
    EXPECT_EQ(Result("case.txt"), Expected("readme.txt"));
    // A member that is an archive, named last, is written out, not opened.
    ASSERT_TRUE(Extract(inner, "inner.zip"));
    EXPECT_EQ(Result("inner.zip"), ReadWholeFile(TestData("inner.zip")));
    ASSERT_TRUE(Extract(inner + "\\big.bin", "big.bin"));
    EXPECT_EQ(Result("big.bin"), Expected("big.bin"));
}

// A "zip slip" archive. A stored name that climbs comes out under its last component, in the folder; a
// name that makes no file there is refused before anything is written; and a plug-in that writes only
// to disk, where the stored name points, is not asked for such a member.
TEST_F(ExtractTest, AMembersNameNeverLeadsOutOfTheFolder) {
    const std::string sub = out / "sub";
    ASSERT_TRUE(::CreateDirectoryA(sub.c_str(), nullptr));
    const auto extract = [&](const std::string& archive, const std::string& member) {
        return ExtractPathOutcome(plugins, TestData(archive + "\\" + member), DestinationFor(sub, member));
    };
    ASSERT_TRUE(extract("trav.zip", "x/../../evil.txt").Succeeded());
    EXPECT_EQ(ReadWholeFile(sub + "\\evil.txt"), "climbed\r\n");
    for (const char* name : {"..", "CON", "a."})
        EXPECT_EQ(extract("trav.zip", name).Failure.Kind, TFailureKind::kUnusableName) << name;
    UsePlugins(SamplePlugin("quirky"));
    const TExtractOutcome climbing = extract("trav.ozip", "x/../../evil.txt");
    EXPECT_EQ(climbing.Failure.Kind, TFailureKind::kClimbingMember) << climbing.Describe();
    ASSERT_TRUE(extract("trav.ozip", "ok.txt").Succeeded());
    EXPECT_EQ(ReadWholeFile(sub + "\\ok.txt"), "harmless\r\n");
    EXPECT_EQ(ReadWholeFile(sub + "\\evil.txt"), "climbed\r\n");
    EXPECT_EQ(out.EntryCount(), 1);
}

TEST_F(ExtractTest, WritesExactlyTheMembersSize) {
    // Blocks under 3072 bytes are grown for probing; the file still gets only the member.
    ASSERT_TRUE(Extract(TestData("mid.tar\\pack\\inner.zip\\small.txt")));
    EXPECT_EQ(Result(), Expected("small.txt"));
    ASSERT_TRUE(Extract(TestData("mid.tar\\pack\\inner.zip\\empty.txt"), "empty.txt"));
    EXPECT_TRUE(FileExists(out / "empty.txt"));
    EXPECT_EQ(Result("empty.txt"), "");
}

TEST_F(ExtractTest, ReadsArchivesBehindA128ByteHeader) {
    ASSERT_TRUE(Extract(TestData("wrapped.k128\\sub\\deep.txt"), "disk.txt"));
    EXPECT_EQ(Result("disk.txt"), Expected("readme.txt"));
    // Held in memory, the archive's positions count from the header's end.
    ASSERT_TRUE(Extract(TestData("holder.tar\\wrapped.k128\\sub\\deep.txt"), "memory.txt"));
    EXPECT_EQ(Result("memory.txt"), Expected("readme.txt"));
    ASSERT_TRUE(Extract(TestData("holder.tar\\wrapped.k128\\tiny.txt"), "tiny.txt"));
    EXPECT_EQ(Result("tiny.txt"), Expected("small.txt"));
}

TEST_F(ExtractTest, HandlesDoubleByteNamesWithABackslashTrailByte) {
    ASSERT_TRUE(Extract(TestData(U("表フォルダ\\表.zip\\表\\表.txt")), U("表.txt")));
    EXPECT_EQ(Result(U("表.txt")), Expected(U("表.txt")));
}

TEST_F(ExtractTest, FailsWithoutWritingAnything) {
    EXPECT_FALSE(Extract(TestData("plain.txt\\member.txt")));
    EXPECT_FALSE(Extract(TestData("no-such-file.zip\\a.txt")));
    EXPECT_FALSE(Extract(TestData("outer.zip\\mid.tar\\pack\\no-such-member.txt")));
    EXPECT_FALSE(Extract(TestData("plain.txt"), "no-such-folder\\out.bin"));
    EXPECT_EQ(out.EntryCount(), 0);
}

TEST_F(ExtractTest, SurvivesFaultyPlugins) {
    for (const char* faulty : {"faulty\\acceptall-nogetfile.spi", "faulty\\getfilefails.spi", "faulty\\shortblock.spi"}) {
        SCOPED_TRACE(faulty);
        PluginFolder folder({faulty});
        UsePlugins(folder.Path());
        EXPECT_FALSE(Extract(TestData("simple.tar\\a.txt")));
        EXPECT_EQ(out.EntryCount(), 0);
    }
}

TEST_F(ExtractTest, KeepsTheOldDestinationWhenAWriteFails) {
    const std::string dest = out / "kept.txt";
    ASSERT_TRUE(Extract(TestData("plain.txt"), "kept.txt"));
    PluginFolder folder({"faulty\\shortblock.spi"});
    UsePlugins(folder.Path());
    EXPECT_FALSE(Extract(TestData("simple.tar\\a.txt"), "kept.txt"));
    EXPECT_EQ(Result("kept.txt"), ReadWholeFile(TestData("plain.txt")));
    // No temporary file is left behind, and a good write replaces the old contents.
    EXPECT_EQ(out.EntryCount(), 1);
    UsePlugins(SamplePlugin(""));
    ASSERT_TRUE(Extract(TestData("simple.tar\\b.txt"), "kept.txt"));
    EXPECT_EQ(Result("kept.txt"), Expected("small.txt"));
}

TEST_F(ExtractTest, ReplacesADestinationKeepingItsAttributes) {
    const std::string dest = out / "kept.txt";
    constexpr DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    ASSERT_TRUE(Extract(TestData("plain.txt"), "kept.txt"));
    ASSERT_TRUE(::SetFileAttributesA(dest.c_str(), kKept));
    ASSERT_TRUE(Extract(TestData("simple.tar\\b.txt"), "kept.txt"));
    EXPECT_EQ(Result("kept.txt"), Expected("small.txt"));
    EXPECT_EQ(::GetFileAttributesA(dest.c_str()) & kKept, kKept);
    {
        // Held open by someone else, the old file can be neither replaced nor renamed over.
        UniqueHandle held(::CreateFileA(dest.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_FALSE(Extract(TestData("plain.txt"), "kept.txt"));
    }
    EXPECT_EQ(Result("kept.txt"), Expected("small.txt"));
    EXPECT_EQ(::GetFileAttributesA(dest.c_str()) & kKept, kKept);
    EXPECT_EQ(out.EntryCount(), 1);
    ::SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(ExtractTest, LongFoldersAndNamesNeverOverrunTheRecord) {
    // A folder part of 200 bytes or more does not fit the record's 200-byte field; the archive is
    // still read, through its path kept outside the record.
    const std::string deep = out / std::string(205 - out.Path().size(), 'd');
    ASSERT_TRUE(::CreateDirectoryA(deep.c_str(), nullptr));
    ASSERT_TRUE(::CopyFileA(TestData("inner.zip").c_str(), (deep + "\\f.zip").c_str(), FALSE));
    TMember member;
    ASSERT_TRUE(TRoot::GetFileRecord(deep + "\\f.zip", member));
    EXPECT_EQ(member.Folder, deep);
    ASSERT_TRUE(Extract(deep + "\\f.zip\\small.txt", "deep.txt"));
    EXPECT_EQ(Result("deep.txt"), Expected("small.txt"));

    // A path of more than 255 bytes whose parts fit is used whole, never cut.
    const std::string folder = out / std::string(110 - out.Path().size(), 'f');
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    const std::string file = folder + "\\" + std::string(257 - folder.size() - 4, 'n') + ".zip";
    ASSERT_EQ(file.size(), 258u);
    ASSERT_TRUE(::CopyFileA(TestData("inner.zip").c_str(), file.c_str(), FALSE));
    ASSERT_TRUE(Extract(file + "\\small.txt", "small.txt"));
    EXPECT_EQ(Result("small.txt"), Expected("small.txt"));

    // Windows' limit counts characters: double-byte ones take a path past 260 bytes well within it.
    std::string japanese;
    for (int i = 0; i < 80; ++i)
        japanese += U("表");
    ASSERT_TRUE(::CreateDirectoryW(WideFromUtf8(out / japanese).c_str(), nullptr));
    const std::string inJapanese = japanese + "\\" + japanese.substr(0, 120) + ".zip";
    ASSERT_GT((out / inJapanese).size(), 260u);
    ASSERT_TRUE(::CopyFileW(WideFromUtf8(TestData("inner.zip")).c_str(), WideFromUtf8(out / inJapanese).c_str(), FALSE));
    ASSERT_TRUE(Extract(out / inJapanese + "\\small.txt", inJapanese + ".txt"));
    EXPECT_EQ(Result(inJapanese + ".txt"), Expected("small.txt"));
}

// Member paths pass 260 bytes easily; every level is asked for its part whole, and the sample
// plug-ins of both formats find such members.
TEST_F(ExtractTest, TakesLongMemberPathsWhole) {
    ASSERT_TRUE(Extract(TestData("long.tar\\" + U(LongMemberPath()))));
    EXPECT_EQ(Result(), Expected("readme.txt"));
    std::string folders = U(LongMemberPath());
    std::string name;
    SplitLastComponent(folders, name);
    ASSERT_TRUE(Extract(TestData("long.zip\\" + folders + "\\long.tar\\" + U(LongMemberPath())), "nested.txt"));
    EXPECT_EQ(Result("nested.txt"), Expected("readme.txt"));
}

TEST_F(ExtractTest, KeepsABareRelativeNameRelative) {
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryA(TestData("").c_str()));
    const bool extracted = Extract("inner.zip\\small.txt");
    ::SetCurrentDirectoryA(previous);
    ASSERT_TRUE(extracted);
    EXPECT_EQ(Result(), Expected("small.txt"));
}

}  // namespace
