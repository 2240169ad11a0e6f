// Listing a level, or a folder in it, at any depth, through the engine: names come from the place
// asked for, whole through a wide listing, and the outer levels are taken out once for what follows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Archive.h"
#include "engine/KeptChain.h"
#include "engine/ListingSink.h"
#include "engine/PluginList.h"
#include "tests/engine/TestEnv.h"

namespace {

std::vector<std::string> Names(const TListingInMemory& listing) {
    std::vector<std::string> names;
    for (const TListedEntry& entry : listing.Entries)
        names.push_back(entry.Name);
    return names;
}

struct TListed {
    TExtractOutcome Outcome;
    TListingInMemory Listing;
};

TListed List(TPluginList& plugins, const std::string& source, TKeptChain* kept = nullptr) {
    TListed listed;
    listed.Outcome = ListPathOutcome(plugins, TestData(source), listed.Listing, nullptr, kept);
    return listed;
}

TEST(Listing, NamesMembersFromThePlaceAskedForAtAnyDepth) {
    TPluginList plugins;
    plugins.SetFolder(SamplePlugin(""));
    ASSERT_GT(plugins.Load(), 0);
    const TListed outer = List(plugins, "outer.zip");
    ASSERT_TRUE(outer.Outcome.Succeeded()) << outer.Outcome.Describe();
    EXPECT_EQ(outer.Listing.Plugin, "zip.spi");
    EXPECT_EQ(Names(outer.Listing), (std::vector<std::string>{"mid.tar", "ReadMe.txt"}));
    EXPECT_EQ(outer.Listing.Entries[1].Size, 10u);
    EXPECT_GT(outer.Listing.Entries[1].Time, 1600000000);
    // A folder that only members' paths imply, two levels down, and the archive inside it.
    const TListed pack = List(plugins, "outer.zip\\mid.tar\\pack");
    ASSERT_TRUE(pack.Outcome.Succeeded()) << pack.Outcome.Describe();
    EXPECT_EQ(Names(pack.Listing), (std::vector<std::string>{"inner.zip", "note.txt"}));
    const TListed inner = List(plugins, "outer.zip\\mid.tar\\pack\\inner.zip");
    ASSERT_TRUE(inner.Outcome.Succeeded()) << inner.Outcome.Describe();
    EXPECT_EQ(Names(inner.Listing), (std::vector<std::string>{"docs\\readme.txt", "small.txt", "empty.txt", "big.bin"}));
    EXPECT_EQ(inner.Listing.Entries[3].Size, 200000u);
    // A plug-in that names members with "/" only, as Unix-world ones do.
    const TListed docs = List(plugins, "slashes.star\\DOCS");
    ASSERT_TRUE(docs.Outcome.Succeeded()) << docs.Outcome.Describe();
    EXPECT_EQ(Names(docs.Listing), std::vector<std::string>{"readme.txt"});
    // What names no archive nor folder inside one says so, and lists nothing.
    for (const auto& [source, kind] : {std::pair{"plain.txt", TFailureKind::kNoPlugin},
                                       {"outer.zip\\ReadMe.txt", TFailureKind::kNoPlugin},
                                       {"outer.zip\\nothing", TFailureKind::kNotFound},
                                       {"missing.zip", TFailureKind::kNotFound}}) {
        const TListed none = List(plugins, source);
        EXPECT_EQ(none.Outcome.Failure.Kind, kind) << source << ": " << none.Outcome.Describe();
        EXPECT_TRUE(none.Listing.Entries.empty()) << source;
    }
}

TEST(Listing, APlugInWithoutAListingSaysSoAndStillExtracts) {
    TPluginList plugins;
    plugins.SetFolder(SamplePlugin("counting"));
    ASSERT_EQ(plugins.Load(), 1);
    const TListed listed = List(plugins, "inner.zip");
    EXPECT_EQ(listed.Outcome.Failure.Kind, TFailureKind::kNoListing);
    EXPECT_NE(listed.Outcome.Describe().find("countzip.spi"), std::string::npos) << listed.Outcome.Describe();
    ScratchFolder out;
    EXPECT_TRUE(ExtractPathOutcome(plugins, TestData("inner.zip\\small.txt"), out / "small.txt").Succeeded());
}

TEST(Listing, TheWideListingNamesWhatTheCodePageLacks) {
    TPluginList plugins;
    plugins.SetFolder(SamplePlugin("wide"));
    ASSERT_EQ(plugins.Load(), 1);
    const TListed listed = List(plugins, "wide-nested.zip\\" + U("表") + "\\wide.zip\\\xC3\xA9t\xC3\xA9");
    ASSERT_TRUE(listed.Outcome.Succeeded()) << listed.Outcome.Describe();
    EXPECT_EQ(Names(listed.Listing), (std::vector<std::string>{"\xED\x95\x9C\xEA\xB5\xAD.txt", "_\xEF\xBD\xA1_\xEF\xBD\xA1.txt"}));
}

// The levels a listing took out serve the next listing below them, and an extraction of a member
// listed there: the same kept level, never taken out again.
TEST(Listing, KeepsTheOuterLevelsForWhatComesNext) {
    TPluginList plugins;
    plugins.SetFolder(SamplePlugin(""));
    ASSERT_GT(plugins.Load(), 0);
    TKeptChain kept;
    ASSERT_TRUE(List(plugins, "outer.zip\\mid.tar", &kept).Outcome.Succeeded());
    ASSERT_EQ(kept.Count(), 2u);
    const TArchive* middle = kept.Level(1);
    ASSERT_TRUE(List(plugins, "outer.zip\\mid.tar\\pack", &kept).Outcome.Succeeded());
    ASSERT_TRUE(List(plugins, "outer.zip", &kept).Outcome.Succeeded());
    ScratchFolder out;
    ASSERT_TRUE(ExtractPathOutcome(plugins, TestData("outer.zip\\mid.tar\\pack\\note.txt"), out / "note.txt", nullptr,
                                   &kept)
                    .Succeeded());
    EXPECT_EQ(ReadWholeFile(out / "note.txt"), "note\n");
    EXPECT_EQ(kept.Level(1), middle);
}

}  // namespace
