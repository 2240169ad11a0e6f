#include <gtest/gtest.h>

#include "app/Destination.h"
#include "base/WideText.h"
#include "jobs/ExtractQueue.h"

namespace {

TEST(ExtractQueue, KeepsJobsInOrderByIndex) {
    TExtractQueue queue;
    EXPECT_EQ(queue.Append("J1", "D1", 0), 0);
    EXPECT_EQ(queue.Append("J2", "D2", 0), 1);
    EXPECT_EQ(queue.Append("J3", "D3", 0), 2);
    const std::string kept = queue.GetSource(0);
    queue.Delete(0);
    EXPECT_EQ(queue.Count(), 2);
    EXPECT_EQ(queue.GetSource(0), "J2");
    EXPECT_EQ(kept, "J1");
    queue.SetDestination(1, "X3");
    EXPECT_EQ(queue.GetDestination(1), "X3");
    EXPECT_EQ(queue.GetSource(1), "J3");
    EXPECT_EQ(queue.GetDestination(0), "D2");
}

TEST(ExtractQueue, RefusesIndicesOutsideTheQueue) {
    TExtractQueue queue;
    queue.Append("J1", "D1", 0);
    EXPECT_THROW(queue.Delete(1), TListIndexError);
    EXPECT_THROW(queue.GetSource(-1), TListIndexError);
    EXPECT_THROW(queue.SetDestination(1, "x"), TListIndexError);
    EXPECT_THROW(queue.Insert(2, "J", "D", 0), TListIndexError);
    EXPECT_EQ(queue.Count(), 1);
    EXPECT_EQ(queue.GetSource(0), "J1");
    try {
        queue.Delete(5);
    } catch (const TListIndexError& error) {
        EXPECT_STREQ(error.what(), "ﾘｽﾄのｲﾝﾃﾞｯｸｽが範囲を超えています");
    }
}

// "/" too: the engine takes it for a separator in members' names, and Windows in paths.
TEST(FileNamePart, TakesTheTextAfterTheLastColonBackslashOrSlash) {
    EXPECT_EQ(FileNamePart("D:\\data\\pack.lzh"), "pack.lzh");
    EXPECT_EQ(FileNamePart("a:b"), "b");
    EXPECT_EQ(FileNamePart("D:\\trav.zip\\x/../../evil.txt"), "evil.txt");
    EXPECT_EQ(FileNamePart("D:\\trav.zip\\x/.."), "..");
    EXPECT_EQ(FileNamePart("plain"), "plain");
    EXPECT_EQ(FileNamePart("D:\\data\\"), "");
    EXPECT_EQ(FileNamePart(Utf8Text("D:\\x\\表.txt")), Utf8Text("表.txt"));
}

// Where the name's form in the code page would pass 255 bytes, as always; a character the code page
// lacks counts two, and a name within that stays whole however many bytes its UTF-8 form takes.
TEST(FileNamePart, CutsAt255BytesOnACharacterBoundary) {
    EXPECT_EQ(FileNamePart("D:\\" + std::string(300, 'n')), std::string(255, 'n'));
    // 254 single bytes and then 表: the cut would fall inside 表, so it moves back before it.
    const std::string name = std::string(254, 'n') + "表表";
    EXPECT_EQ(FileNamePart(Utf8Text("D:\\" + name)), std::string(254, 'n'));
    EXPECT_EQ(FileNamePart(Utf8Text(std::string(253, 'n') + "表表")), Utf8Text(std::string(253, 'n') + "表"));
    std::wstring korean;
    for (int i = 0; i < 127; ++i)
        korean += L"\ud55c";
    std::string whole, cut;
    ASSERT_TRUE(ExactUtf8(korean + L"\u00e9", cut));
    ASSERT_TRUE(ExactUtf8(korean, whole));
    EXPECT_EQ(FileNamePart("D:\\" + whole), whole);
    EXPECT_EQ(FileNamePart("D:\\" + cut), whole);
}

TEST(DestinationFor, AddsABackslashOnlyAfterFoldersLongerThanThreeBytes) {
    EXPECT_EQ(DestinationFor("F:\\out", "D:\\data\\pack.lzh"), "F:\\out\\pack.lzh");
    EXPECT_EQ(DestinationFor("F:\\", "D:\\data\\pack.lzh"), "F:\\pack.lzh");
    EXPECT_EQ(DestinationFor("F:", "D:\\data\\pack.lzh"), "F:pack.lzh");
    EXPECT_EQ(DestinationFor("F:\\out\\", "D:\\data\\pack.lzh"), "F:\\out\\\\pack.lzh");
    EXPECT_EQ(DestinationFor("F:\\out", "D:\\data\\"), "F:\\out\\");
}

}  // namespace
