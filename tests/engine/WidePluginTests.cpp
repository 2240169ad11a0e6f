// Plug-ins with wide entry points are asked through them, for a whole level: lookup, listing and
// extraction. The sample lists Hangul lossily through its ANSI side, so only the wide side can show
// what a member really is called.
#include <gtest/gtest.h>

#include <string>

#include <shlobj.h>

#include <algorithm>

#include "base/Owned.h"
#include "base/SystemPath.h"
#include "base/WideText.h"
#include "engine/Archive.h"
#include "engine/KeptChain.h"
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

// Names outside code page 932, in UTF-8 as the engine carries them.
const std::string kEte = "\xC3\xA9t\xC3\xA9";                       // été
const std::string kKorea = "\xED\x95\x9C\xEA\xB5\xAD.txt";         // 한국.txt
const std::string kOuter = "Zo\xC3\xAB-\xED\x95\x9C\xEA\xB8\x80.zip";  // Zoë-한글.zip
const std::string kJose = "Jos\xC3\xA9";                            // José

// A plug-in with ANSI entry points alone lists été\한국.txt only as "ete\_｡_｡.txt". Taken through the
// listing when no other member could be that, whichever way the member comes out; never when decoys
// could be it too. Nothing is asked of it under a lossy name.
TEST(AnsiOnlyPluginTest, TakesAMemberItListsLossilyOnlyWhenNoOtherCouldBeIt) {
    ScratchFolder out;
    for (const char* sample : {"lossy", "lossy-diskout"}) {
        SCOPED_TRACE(sample);
        TPluginList plugins;
        plugins.SetFolder(SamplePlugin(sample));
        ASSERT_EQ(plugins.Load(), 1);
        const std::string dest = out / kKorea;
        const TExtractOutcome taken = ExtractPathOutcome(plugins, TestData("lossy.zip\\" + kEte + "\\" + kKorea), dest);
        ASSERT_TRUE(taken.Succeeded()) << taken.Describe();
        EXPECT_EQ(ReadWholeFile(dest), "the member outside code page 932\r\n");

        const TExtractOutcome decoyed =
            ExtractPathOutcome(plugins, TestData("wide.zip\\" + kEte + "\\" + kKorea), out / "decoyed.txt");
        EXPECT_EQ(decoyed.Failure.Kind, TFailureKind::kAmbiguousName) << decoyed.Describe();
        EXPECT_EQ(decoyed.Failure.Plugin, std::string(sample) == "lossy" ? "lossyzip.spi" : "lossydiskout.spi");
        EXPECT_FALSE(FileExists(out / "decoyed.txt"));
        const TExtractOutcome fitted = ExtractPathOutcome(plugins, TestData("lossy.zip\\caf\xC3\xA9.txt"), out / "cafe.txt");
        EXPECT_EQ(fitted.Failure.Kind, TFailureKind::kAmbiguousName) << fitted.Describe();
        // ütü\가나.txt is not in the archive: a lost ü may be "u" or "?", never the "e" of ete\_｡_｡.txt.
        const TExtractOutcome absent = ExtractPathOutcome(
            plugins, TestData("lossy.zip\\\xC3\xBCt\xC3\xBC\\\xEA\xB0\x80\xEB\x82\x98.txt"), out / "absent.txt");
        EXPECT_FALSE(absent.Succeeded());
        EXPECT_FALSE(FileExists(out / "absent.txt"));
    }
    EXPECT_EQ(EngineTemporaries(), 0);
}

// The outer archive and the destination's folder named outside the code page: the plug-in opens the
// archive under another name for the same file, and writes its disk output where it can name the
// folder; nothing of ours is left.
TEST(AnsiOnlyPluginTest, ReadsAnArchiveAndWritesIntoAFolderTheCodePageCannotName) {
    ScratchFolder scratch;
    const std::string outer = scratch / kOuter;
    const std::string folder = scratch / kJose;
    ASSERT_TRUE(::CopyFileW(WideFromUtf8(TestData("wide.zip")).c_str(), WideFromUtf8(outer).c_str(), FALSE));
    ASSERT_TRUE(::CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr));
    for (const char* sample : {"lossy", "lossy-diskout"}) {
        SCOPED_TRACE(sample);
        TPluginList plugins;
        plugins.SetFolder(SamplePlugin(sample));
        ASSERT_EQ(plugins.Load(), 1);
        const std::string dest = folder + "\\" + U("表.txt");
        const TExtractOutcome outcome = ExtractPathOutcome(plugins, outer + "\\" + U("日本語\\表.txt"), dest);
        ASSERT_TRUE(outcome.Succeeded()) << outcome.Describe();
        EXPECT_EQ(ReadWholeFile(dest), ReadWholeFile(TestData(U("expect\\表.txt"))));
        EXPECT_TRUE(::DeleteFileW(WideFromUtf8(dest).c_str()));
    }
    EXPECT_EQ(EngineTemporaries(), 0);
    EXPECT_EQ(scratch.EntryCount(), 2);
}

// Where copies for ANSI plug-ins go when the user's temporary folder has no name they can open, short
// or long: a folder of the user's own, named in ASCII, that stays the same.
TEST(AnsiOnlyPluginTest, HasAFolderOfItsOwnForCopiesWhenTheTemporaryFolderHasNoAnsiName) {
    const std::string own = OwnTemporaryFolder();
    ASSERT_FALSE(own.empty());
    std::string ansi;
    EXPECT_TRUE(AnsiFromUtf8(own, ansi));
    EXPECT_EQ(own.back(), '\\');
    const DWORD attributes = ::GetFileAttributesW(WideFromUtf8(own).c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(OwnTemporaryFolder(), own);
    TTemporaryCopy copy;
    ASSERT_EQ(copy.Link(TestData("wide.zip")), ERROR_SUCCESS);
    EXPECT_EQ(ReadWholeFile(copy.Path()), ReadWholeFile(TestData("wide.zip")));
}

// The times and attributes of a file, read without opening it for reading.
FILE_BASIC_INFO BasicInfo(const std::string& path) {
    FILE_BASIC_INFO info{};
    const UniqueHandle file(::CreateFileW(WideFromUtf8(path).c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                          0, nullptr));
    EXPECT_TRUE(file && ::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &info, sizeof info)) << path;
    return info;
}

// The other name an ANSI plug-in is given for a user's archive changes nothing of the archive: a link
// goes without touching the attributes it shares, and a read-only file gets a copy, writable at once, so
// that its change time does not move either. Nothing is left.
TEST(AnsiOnlyPluginTest, GivesAnotherNameWithoutChangingTheUsersFile) {
    ScratchFolder scratch;
    const std::string file = scratch / "archive.zip";
    ASSERT_TRUE(::CopyFileW(WideFromUtf8(TestData("wide.zip")).c_str(), WideFromUtf8(file).c_str(), FALSE));
    for (const bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly ? "read-only" : "writable");
        ASSERT_TRUE(::SetFileAttributesW(WideFromUtf8(file).c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
        const FILE_BASIC_INFO before = BasicInfo(file);
        {
            TTemporaryCopy copy;
            ASSERT_EQ(copy.Link(file), ERROR_SUCCESS);
            EXPECT_EQ(copy.IsLink(), !readOnly);
            EXPECT_FALSE(::GetFileAttributesW(WideFromUtf8(copy.Path()).c_str()) & FILE_ATTRIBUTE_READONLY);
            EXPECT_EQ(ReadWholeFile(copy.Path()), ReadWholeFile(file));
        }
        const FILE_BASIC_INFO after = BasicInfo(file);
        EXPECT_EQ(after.FileAttributes, before.FileAttributes);
        EXPECT_EQ(after.LastWriteTime.QuadPart, before.LastWriteTime.QuadPart);
        if (readOnly)
            EXPECT_EQ(after.ChangeTime.QuadPart, before.ChangeTime.QuadPart);
        EXPECT_EQ(EngineTemporaries(), 0);
    }
    ::SetFileAttributesW(WideFromUtf8(file).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Deep enough that the archive's short name takes the \\?\ form, which no plug-in opens: the plug-in is
// given a link. The link moves the file's change time once; a kept chain still knows the file, and the
// second member costs no level taken out again.
TEST(AnsiOnlyPluginTest, AKeptChainKnowsItsArchiveAcrossTheLink) {
    ScratchFolder scratch;
    std::string folder = scratch.Path();
    while (folder.size() < 240)
        folder += "\\" + std::string(std::min<size_t>(40, 240 - folder.size()), 'd');
    ASSERT_EQ(::SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr), ERROR_SUCCESS);
    const std::string outer = folder + "\\" + kOuter;
    ASSERT_TRUE(::CopyFileW(WideFromUtf8(TestData("wide-nested.zip")).c_str(), SystemPath(outer).c_str(), FALSE));
    TPluginList plugins;
    plugins.SetFolder(SamplePlugin("lossy"));
    ASSERT_EQ(plugins.Load(), 1);
    ASSERT_GE(outer.size(), 248u);
    TKeptChain kept;
    const std::string inner = outer + "\\" + U("表\\wide.zip\\日本語\\表.txt");
    const LONG start = SampleFamilyCalls().Ansi;
    ASSERT_TRUE(ExtractPathOutcome(plugins, inner, scratch / "first.txt", nullptr, &kept).Succeeded());
    const LONG first = SampleFamilyCalls().Ansi - start;
    EXPECT_TRUE(kept.Serves(inner)) << "the chain was dropped";
    ASSERT_TRUE(ExtractPathOutcome(plugins, inner, scratch / "second.txt", nullptr, &kept).Succeeded());
    EXPECT_LT(SampleFamilyCalls().Ansi - start - first, first);
    EXPECT_EQ(ReadWholeFile(scratch / "second.txt"), ReadWholeFile(TestData(U("expect\\表.txt"))));
    kept.Release();
    EXPECT_EQ(EngineTemporaries(), 0);
}

}  // namespace
