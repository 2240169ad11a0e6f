#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/ModulePath.h"
#include "base/WideText.h"
#include "engine/Archive.h"
#include "engine/PluginList.h"
#include "tests/engine/TestEnv.h"

namespace {

std::vector<std::string> Names(const TPluginList& list) {
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i)
        names.push_back(list.Item(i).FileName);
    return names;
}

int IndexOf(const TPluginList& list, const std::string& name) {
    for (int i = 0; i < list.Count(); ++i)
        if (list.Item(i).FileName == name)
            return i;
    return -1;
}

// Binds an archive on disk with the list and tells which plug-in took it, at which offset.
std::pair<std::string, uint32_t> Bind(TPluginList& list, const std::string& file) {
    TMember member;
    EXPECT_TRUE(TRoot::GetFileRecord(file, member));
    TRealArchive archive(file, member.Record.filesize);
    archive.BindPlugin(list);
    for (int i = 0; i < list.Count(); ++i)
        if (list.GetModule(i) == archive.GetModule())
            return {list.Item(i).FileName, archive.GetHeadOffset()};
    return {"", 0};
}

class PluginListTest : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey); }
    void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey); }
    SusieSettings susie;
};

TEST_F(PluginListTest, LoadsArchivePluginsAndHonoursActivation) {
    PluginFolder folder({"tar.spi", "zip.spi", "stub128.spi"});
    const DWORD off = 0;
    const DWORD on = 5;
    susie.SetPath(folder.Path());
    susie.SetActivate("zip.spi", REG_DWORD, &off, sizeof off);
    susie.SetActivate("stub128.spi", REG_DWORD, &on, sizeof on);
    TPluginList list;
    list.SetFolder(folder.Path());
    EXPECT_EQ(list.Load(), 2);
    EXPECT_TRUE(list.Loaded());
    EXPECT_EQ(IndexOf(list, "zip.spi"), -1);
    EXPECT_NE(IndexOf(list, "tar.spi"), -1);
    EXPECT_TRUE(list.Item(0).Active);

    // Only a REG_DWORD 0 switches a plug-in off.
    susie.SetActivate("zip.spi", REG_SZ, "0", 2);
    EXPECT_EQ(list.Load(), 3);

    // Kelvane's own value switches one off in any folder, Susie's only in Susie's.
    ASSERT_TRUE(SwitchPlugin("tar.spi", false));
    susie.SetActivate("zip.spi", REG_DWORD, &off, sizeof off);
    EXPECT_EQ(list.Load(), 1);
    EXPECT_EQ(Names(list), std::vector<std::string>{"stub128.spi"});
    susie.SetPath(folder.Path() + "\\sub");
    EXPECT_EQ(list.Load(), 2);
    EXPECT_EQ(IndexOf(list, "tar.spi"), -1);
    ASSERT_TRUE(SwitchPlugin("tar.spi", true));
    EXPECT_EQ(list.Load(), 3);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.Loaded());
}

TEST_F(PluginListTest, RefusesPluginsThatAreNotArchivePlugins) {
    PluginFolder folder({"faulty\\wrongtype.spi", "faulty\\nosupported.spi", "zip.spi"});
    ScratchFolder notAPlugin;
    TPluginList list;
    list.SetFolder(folder.Path());
    EXPECT_EQ(list.Load(), 1);
    EXPECT_EQ(Names(list), std::vector<std::string>{"zip.spi"});

    // A folder without plug-ins: empty and not loaded.
    list.SetFolder(notAPlugin.Path());
    EXPECT_EQ(list.Load(), 0);
    EXPECT_FALSE(list.Loaded());
    EXPECT_THROW(list.GetModule(0), std::out_of_range);
}

TEST_F(PluginListTest, CollectsFileTypeTextsWithABound) {
    PluginFolder folder({"zip.spi", "faulty\\endlessinfo.spi"});
    TPluginList list;
    list.SetFolder(folder.Path());
    ASSERT_EQ(list.Load(), 2);
    EXPECT_EQ(list.Item(IndexOf(list, "zip.spi")).Extensions, "*.zip");
    // A plug-in that never answers 0 is asked 100 times and still taken in.
    const std::string& endless = list.Item(IndexOf(list, "endlessinfo.spi")).Extensions;
    EXPECT_EQ(std::count(endless.begin(), endless.end(), ';'), 99);
}

TEST_F(PluginListTest, MostRecentlyMatchedComesFirst) {
    PluginFolder folder({"tar.spi", "zip.spi", "stub128.spi"});
    TPluginList list;
    list.SetFolder(folder.Path());
    ASSERT_EQ(list.Load(), 3);

    // A remove and an insert, not a swap: the others keep their order.
    std::vector<std::string> expected = Names(list);
    expected.erase(std::find(expected.begin(), expected.end(), "tar.spi"));
    expected.insert(expected.begin(), "tar.spi");
    EXPECT_EQ(Bind(list, TestData("simple.tar")), std::make_pair(std::string("tar.spi"), 0u));
    EXPECT_EQ(Names(list), expected);
    EXPECT_EQ(Bind(list, TestData("wrapped.k128")), std::make_pair(std::string("stub128.spi"), 128u));
    EXPECT_EQ(list.Item(0).FileName, "stub128.spi");
}

TEST_F(PluginListTest, OffsetZeroIsAskedOfEveryPluginFirst) {
    PluginFolder folder({"stub128.spi", "faulty\\acceptall-nogetfile.spi"});
    ScratchFolder data;
    ASSERT_TRUE(::CopyFileA(TestData("wrapped.k128").c_str(), (data / "refuse.k128").c_str(), FALSE));
    TPluginList list;
    list.SetFolder(folder.Path());
    ASSERT_EQ(list.Load(), 2);

    // The accept-all plug-in refuses this name, which brings stub128 to the front.
    EXPECT_EQ(Bind(list, data / "refuse.k128"), std::make_pair(std::string("stub128.spi"), 128u));
    EXPECT_EQ(Bind(list, TestData("wrapped.k128")), std::make_pair(std::string("acceptall-nogetfile.spi"), 0u));
    EXPECT_EQ(list.Item(0).FileName, "acceptall-nogetfile.spi");
}

TEST_F(PluginListTest, EmptyListFindsNothing) {
    TPluginList list;
    EXPECT_EQ(Bind(list, TestData("simple.tar")).first, "");
}

TEST_F(PluginListTest, ReadsSusiesFolder) {
    std::string folder;
    EXPECT_FALSE(ReadSusiePluginFolder(folder));
    EXPECT_EQ(folder, "");
    // Without Susie's settings, the folder beside the program.
    TPluginList list;
    ReloadPlugins(list);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Folder(), ProgramFolder() + "plugins");
    EXPECT_EQ(FindPluginFolder().Source, TFolderSource::kBeside);

    PluginFolder plugins({"tar.spi"});
    susie.SetPath(plugins.Path() + "\\");
    ASSERT_TRUE(ReadSusiePluginFolder(folder));
    EXPECT_EQ(folder, plugins.Path() + "\\\\");
    ReloadPlugins(list);
    EXPECT_EQ(Names(list), std::vector<std::string>{"tar.spi"});
    EXPECT_EQ(FindPluginFolder().Source, TFolderSource::kSusie);

    // Kelvane's own choice holds over Susie's, until it is forgotten.
    PluginFolder chosen({"zip.spi"});
    ASSERT_TRUE(ChoosePluginFolder(chosen.Path()));
    ReloadPlugins(list);
    EXPECT_EQ(Names(list), std::vector<std::string>{"zip.spi"});
    EXPECT_EQ(FindPluginFolder().Source, TFolderSource::kKelvane);
    ASSERT_TRUE(ChoosePluginFolder(""));
    EXPECT_EQ(FindPluginFolder().Source, TFolderSource::kSusie);

    // The longest value that fits still gets its separator.
    const std::string longest(259, 'x');
    susie.SetPath(longest);
    ASSERT_TRUE(ReadSusiePluginFolder(folder));
    EXPECT_EQ(folder, longest + "\\");
    susie.SetPath(longest + "y");
    EXPECT_FALSE(ReadSusiePluginFolder(folder));

    // A folder named outside the code page is read, and its plug-ins loaded, whole.
    const std::string named = plugins / "Jos\xC3\xA9 \xED\x95\x9C";
    ASSERT_TRUE(::CreateDirectoryW(WideFromUtf8(named).c_str(), nullptr));
    ASSERT_TRUE(::CopyFileW(WideFromUtf8(SamplePlugin("tar.spi")).c_str(), WideFromUtf8(named + "\\tar.spi").c_str(),
                            FALSE));
    susie.SetPath(named);
    ASSERT_TRUE(ReadSusiePluginFolder(folder));
    EXPECT_EQ(folder, named + "\\");
    ReloadPlugins(list);
    EXPECT_EQ(Names(list), std::vector<std::string>{"tar.spi"});
}

}  // namespace
