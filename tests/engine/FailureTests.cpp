// Every kind of failure names the part of the path, its archive and the plug-in, and leaves
// nothing behind.
#include <gtest/gtest.h>

#include <string>

#include "engine/Archive.h"
#include "engine/PluginList.h"
#include "tests/engine/TestEnv.h"

namespace {

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
            EXPECT_NE(outcome.Describe().find("エラー 1 を返しました (中断されました)"), std::string::npos);
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

}  // namespace
