// Plug-ins with wide entry points are asked through them, for a whole level: lookup, listing and
// extraction. The sample lists Hangul lossily through its ANSI side, so only the wide side can show
// what a member really is called.
#include <gtest/gtest.h>

#include <string>

#include "engine/Archive.h"
#include "engine/PluginList.h"
#include "tests/engine/TestEnv.h"

namespace {

class WidePluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        plugins.SetFolder(SamplePlugin("wide"));
        // Loaded without GetPluginInfoW: its type comes from GetPluginInfo.
        ASSERT_EQ(plugins.Load(), 1);
    }
    TExtractOutcome Extract(const std::string& source) {
        return ExtractPathOutcome(plugins, TestData(source), out / "out.txt");
    }

    TPluginList plugins;
    ScratchFolder out;
};

TEST_F(WidePluginTest, ExtractsCodePage932NamesThroughTheWideFamilyAlone) {
    // 表 ends in the byte of '\': its wide form must not split there. Case is folded as the plug-in
    // folds it, in ASCII letters.
    for (const std::string& source : {U("wide.zip\\日本語\\表.txt"), U("wide-nested.zip\\表\\wide.zip\\日本語\\表.TXT")}) {
        SCOPED_TRACE(source);
        const TFamilyCalls before = SampleFamilyCalls();
        const TExtractOutcome outcome = Extract(source);
        ASSERT_TRUE(outcome.Succeeded()) << outcome.Describe();
        EXPECT_EQ(ReadWholeFile(out / "out.txt"), ReadWholeFile(TestData(U("expect\\表.txt"))));
        const TFamilyCalls after = SampleFamilyCalls();
        EXPECT_EQ(after.Ansi, before.Ansi);
        EXPECT_GE(after.Wide - before.Wide, 2);
    }
}

TEST_F(WidePluginTest, NeverTakesAMemberUnderALossyFormOfItsName) {
    // été\한국.txt has no code page 932 name; its best-fit and "?" forms name nothing, also through the
    // listing, where the plug-in is asked once the lookup found nothing.
    for (const char* lossy : {"wide.zip\\?t?\\??.txt", "wide.zip\\ete\\??.txt"}) {
        SCOPED_TRACE(lossy);
        const TExtractOutcome outcome = Extract(lossy);
        EXPECT_EQ(outcome.Failure.Kind, TFailureKind::kNotFound) << outcome.Describe();
    }
    EXPECT_FALSE(FileExists(out / "out.txt"));
    // A decoy is the member its own name names.
    ASSERT_TRUE(Extract(U("wide.zip\\ete\\_｡_｡.txt")).Succeeded());
    EXPECT_EQ(ReadWholeFile(out / "out.txt"), "decoy\r\n");
}

TEST(WideDiskOutputTest, WritesIntoAWideFolderAndFindsTheMemberThere) {
    TPluginList plugins;
    plugins.SetFolder(SamplePlugin("wide-diskout"));
    ASSERT_EQ(plugins.Load(), 1);
    ScratchFolder out;
    const TFamilyCalls before = SampleFamilyCalls();
    const TExtractOutcome outcome = ExtractPathOutcome(plugins, TestData(U("wide.zip\\日本語\\表.txt")), out / U("表.txt"));
    ASSERT_TRUE(outcome.Succeeded()) << outcome.Describe();
    EXPECT_EQ(ReadWholeFile(out / U("表.txt")), ReadWholeFile(TestData(U("expect\\表.txt"))));
    EXPECT_EQ(SampleFamilyCalls().Ansi, before.Ansi);
    // The plug-in's folder beside the destination is gone.
    EXPECT_EQ(out.EntryCount(), 1);
}

TEST(AnsiPluginTest, ReadsTheSameArchiveAsBefore) {
    // An ANSI-only ZIP plug-in is asked as always: the same member by the same bytes.
    TPluginList plugins;
    PluginFolder folder{"zip.spi"};
    plugins.SetFolder(folder.Path());
    ASSERT_EQ(plugins.Load(), 1);
    ScratchFolder out;
    const TExtractOutcome outcome =
        ExtractPathOutcome(plugins, TestData(U("wide-nested.zip\\表\\wide.zip\\日本語\\表.txt")), out / "out.txt");
    ASSERT_TRUE(outcome.Succeeded()) << outcome.Describe();
    EXPECT_EQ(ReadWholeFile(out / "out.txt"), ReadWholeFile(TestData(U("expect\\表.txt"))));
}

}  // namespace
