// Plug-ins as real third-party ones behave: without memory input, matching by file name only,
// without room for memory output, opening their archive with no sharing, naming members with "/".
// Each quirk costs at most a temporary file, never left behind.
#include <gtest/gtest.h>

#include <string>

#include "engine/Archive.h"
#include "engine/PluginList.h"
#include "tests/engine/TestEnv.h"

namespace {

class FallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        plugins.SetFolder(folder.Path());
        ASSERT_EQ(plugins.Load(), 10);
        temporariesBefore = EngineTemporaries();
    }
    void TearDown() override {
        EXPECT_EQ(EngineTemporaries(), temporariesBefore) << "a temporary file was left behind";
    }
    TExtractOutcome Extract(const std::string& source, const std::string& dest = "out.bin") {
        return ExtractPathOutcome(plugins, TestData(source), out / dest);
    }
    std::string Expected(const std::string& name) { return ReadWholeFile(TestData("expect\\" + name)); }

    PluginFolder folder{"zip.spi", "quirky\\diskonly.spi", "quirky\\nomemget.spi", "quirky\\nameonly.spi",
                        "quirky\\diskout.spi", "quirky\\exclusive.spi", "quirky\\exclusiveget.spi",
                        "quirky\\slashes.spi", "quirky\\slashesnolist.spi", "shifted\\shifted.spi"};
    TPluginList plugins;
    ScratchFolder out;
    int temporariesBefore = 0;
};

TEST_F(FallbackTest, ReadsLevelsWhosePluginRefusesMemoryInput) {
    // inner.dtar's plug-in reads no memory at all, inner.gtar's lists from memory but will not
    // extract from it, and inner.ptar's does the same with positions on disk that differ from those in
    // memory: the copy's own are asked for.
    for (const char* level : {"quirks.zip\\inner.dtar", "quirks.zip\\inner.gtar", "shifted.zip\\inner.ptar"}) {
        SCOPED_TRACE(level);
        ASSERT_TRUE(Extract(std::string(level) + "\\docs\\readme.txt").Succeeded());
        EXPECT_EQ(ReadWholeFile(out / "out.bin"), Expected("readme.txt"));
        // Only that level goes to disk: the zip inside it is read from memory again.
        ASSERT_TRUE(Extract(std::string(level) + "\\deeper.zip\\small.txt", "small.txt").Succeeded());
        EXPECT_EQ(ReadWholeFile(out / "small.txt"), Expected("small.txt"));
    }
    const TExtractOutcome missing = Extract("quirks.zip\\inner.dtar\\missing.txt");
    EXPECT_EQ(missing.Failure.Kind, TFailureKind::kNotFound);
    EXPECT_EQ(missing.Failure.Plugin, "diskonly.spi");
    EXPECT_EQ(missing.Component, "missing.txt");
    EXPECT_EQ(out.EntryCount(), 2);
}

// Their plug-ins answered 6 (read error) on a temporary copy while we held it open: they open their
// archive with no sharing at all.
TEST_F(FallbackTest, LeavesCopiesToPluginsThatOpenTheirArchiveAlone) {
    // inner.xtar goes to disk when it is located, inner.ytar when its member is taken out, again.ytar
    // the latter way from the copy of inner.xtar.
    for (const char* level :
         {"quirks.zip\\inner.xtar", "quirks.zip\\inner.ytar", "quirks.zip\\inner.xtar\\again.ytar"}) {
        SCOPED_TRACE(level);
        const TExtractOutcome outcome = Extract(std::string(level) + "\\deeper.zip\\small.txt");
        ASSERT_TRUE(outcome.Succeeded()) << outcome.Reason();
        EXPECT_EQ(ReadWholeFile(out / "out.bin"), Expected("small.txt"));
    }
}

// Plug-ins for Unix-world formats know "docs/readme.txt" alone, and list it so, as a file name.
TEST_F(FallbackTest, TakesSlashAndBackslashAsTheSameSeparator) {
    // .star members are found through the listing or, once it showed "/", by asking that way; .utar
    // ones, without a listing, by asking with "/" when "\\" found nothing. 表 and ソ end in 5C.
    for (const char* archive : {"slashes.star", "quirks.zip\\inner.star", "slashes.utar", "quirks.zip\\inner.utar"}) {
        SCOPED_TRACE(archive);
        const std::string at = archive;
        ASSERT_TRUE(Extract(at + "\\DOCS\\readme.txt").Succeeded());
        EXPECT_EQ(ReadWholeFile(out / "out.bin"), Expected("readme.txt"));
        ASSERT_TRUE(Extract(at + U("\\表\\ソ.txt")).Succeeded());
        EXPECT_EQ(ReadWholeFile(out / "out.bin"), Expected(U("表.txt")));
        ASSERT_TRUE(Extract(at + "\\pack\\deeper.zip\\small.txt").Succeeded());
        EXPECT_EQ(ReadWholeFile(out / "out.bin"), Expected("small.txt"));
        // The level below is named as the user names it.
        const TExtractOutcome missing = Extract(at + "\\pack\\deeper.zip\\missing.txt");
        EXPECT_EQ(missing.Failure.Kind, TFailureKind::kNotFound);
        EXPECT_EQ(missing.Container, TestData(at + "\\pack\\deeper.zip"));
    }
}

TEST_F(FallbackTest, FindsMembersInFoldersThroughTheListing) {
    // The plug-in knows "readme.txt" but not "docs\readme.txt"; its blocks have 4 spare bytes.
    for (const char* archive : {"names.ntar", "quirks.zip\\inner.ntar"}) {
        SCOPED_TRACE(archive);
        ASSERT_TRUE(Extract(std::string(archive) + "\\DOCS\\ReadMe.txt").Succeeded());
        EXPECT_EQ(ReadWholeFile(out / "out.bin"), Expected("readme.txt"));
        EXPECT_EQ(Extract(std::string(archive) + "\\docs\\small.txt").Failure.Kind, TFailureKind::kNotFound);
    }
}

TEST_F(FallbackTest, WritesThroughThePluginsDiskOutput) {
    ASSERT_TRUE(Extract("stored.ozip\\docs\\readme.txt", "readme.txt").Succeeded());
    EXPECT_EQ(ReadWholeFile(out / "readme.txt"), Expected("readme.txt"));
    // The plug-in's own folder beside the destination is gone; only the destination is left.
    EXPECT_EQ(out.EntryCount(), 1);
    // Into a folder that does not exist, neither output can write.
    const TExtractOutcome failed = Extract("stored.ozip\\small.txt", "no-such-folder\\small.txt");
    EXPECT_EQ(failed.Failure.Kind, TFailureKind::kCannotWrite);
    EXPECT_EQ(out.EntryCount(), 1);
}

}  // namespace

namespace {

// Three real plug-ins' ways with levels in memory. threadlist trusts a disk position only right after a
// lookup of the same file in the same thread, and finds no archive at a member's position in memory;
// memcrash crashes in GetFileInfo with an archive in memory, and says so beforehand only by its
// listing's -1, which liststub's listing answers for a copy on disk too while it reads memory well.
TEST(RealPluginLevelsTest, AsksTheCopyBeforeReadingItAndGivesMemoryOnlyToPluginsThatTakeIt) {
    const PluginFolder folder{"tar.spi", "quirky\\threadlist.spi", "quirky\\memcrash.spi", "quirky\\liststub.spi"};
    TPluginList plugins;
    plugins.SetFolder(folder.Path());
    ASSERT_EQ(plugins.Load(), 4);
    ScratchFolder out;
    const int temporaries = EngineTemporaries();
    for (const char* source :
         {"nested.tzip\\docs\\readme.txt", "levels.tar\\inner.tzip\\docs\\readme.txt",
          "levels.tar\\inner.tzip\\pack\\deeper.tzip\\docs\\readme.txt", "nested.mzip\\docs\\readme.txt",
          "levels.tar\\inner.mzip\\docs\\readme.txt", "levels.tar\\inner.mzip\\pack\\deeper.mzip\\docs\\readme.txt",
          "levels.tar\\inner.lzip\\pack\\deeper.lzip\\docs\\readme.txt"}) {
        SCOPED_TRACE(source);
        const TExtractOutcome outcome = ExtractPathOutcome(plugins, TestData(source), out / "readme.txt");
        ASSERT_TRUE(outcome.Succeeded()) << outcome.Describe();
        EXPECT_TRUE(SameContents(out / "readme.txt", TestData("expect\\readme.txt")));
    }
    // Both are given copies from now on; tar.spi, which has no listing to ask, is never judged, nor is
    // liststub by a listing that tells nothing: its next levels come in memory.
    for (int i = 0; i < plugins.Count(); ++i) {
        const TPluginInfo& plugin = plugins.Item(i);
        SCOPED_TRACE(plugin.FileName);
        EXPECT_EQ(plugin.MemoryInput, plugin.FileName == "tar.spi"        ? TMemoryInput::kUntried
                                      : plugin.FileName == "liststub.spi" ? TMemoryInput::kListingStub
                                                                          : TMemoryInput::kGivenCopies);
    }
    EXPECT_EQ(EngineTemporaries(), temporaries);
}

}  // namespace
