// Wide listings stepped through by the record size their block agrees on, and wide records taken in
// only under their exact ANSI names.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "base/WideText.h"
#include "engine/Member.h"
#include "engine/WideListing.h"

namespace {

// A listing block of count records of size bytes, each with a method, then the end record.
std::vector<unsigned char> Block(size_t size, size_t count) {
    std::vector<unsigned char> block((count + 1) * size, 0);
    for (size_t i = 0; i < count; ++i)
        block[i * size] = 'm';
    return block;
}

fileInfoW Named(const wchar_t* path, const wchar_t* name) {
    fileInfoW record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(record.method, "stored", 6);
    record.position = 1234;
    record.filesize = 56;
    record.crc = 0xC0FFEE;
    std::wcsncpy(record.path, path, std::size(record.path));
    std::wcsncpy(record.filename, name, std::size(record.filename));
    return record;
}

}  // namespace

TEST(WideListingTest, StepsByTheSizeTheBlockAndItsEndRecordAgreeOn) {
    constexpr size_t kX64[] = {848, 844};
    constexpr size_t k32[] = {828};
    // Stepping by 844 through 848-byte records meets zero padding as an end record, and the other way
    // round a zero byte inside the end record: only the block's size tells them apart.
    for (const size_t size : {848u, 844u}) {
        for (const size_t count : {0u, 1u, 3u}) {
            const std::vector<unsigned char> block = Block(size, count);
            EXPECT_EQ(WideRecordStep(block.data(), block.size(), kX64), size) << size << " x " << count;
        }
    }
    std::vector<unsigned char> block = Block(828, 2);
    EXPECT_EQ(WideRecordStep(block.data(), block.size(), k32), 828u);
    // A few spare bytes after the end record still agree where only one size is known...
    block.resize(block.size() + 8);
    EXPECT_EQ(WideRecordStep(block.data(), block.size(), k32), 828u);
    // ...but not where two sizes both find an end record inside it.
    block = Block(848, 1);
    block.resize(block.size() + 8);
    EXPECT_EQ(WideRecordStep(block.data(), block.size(), kX64), 0u);
    // No end record inside the block, an end record cut short, no block, a size below the fields.
    block = Block(828, 2);
    block[2 * 828] = 'm';
    EXPECT_EQ(WideRecordStep(block.data(), block.size(), k32), 0u);
    block = Block(828, 2);
    block.resize(block.size() - 1);
    EXPECT_EQ(WideRecordStep(block.data(), block.size(), k32), 0u);
    EXPECT_EQ(WideRecordStep(nullptr, 0, k32), 0u);
    constexpr size_t kTooSmall[] = {428};
    block = Block(428, 1);
    EXPECT_EQ(WideRecordStep(block.data(), block.size(), kTooSmall), 0u);
}

TEST(WideListingTest, ReadsRecordsOfThisWidthWithTheirNamesWhole) {
    const fileInfoW records[] = {Named(L"\u65e5\u672c\u8a9e\\", L"\u8868.txt"), Named(L"\u00e9t\u00e9\\", L"x.txt"),
                                 Named(L"", L"\ud55c\uad6d.txt"), {}};
    const auto* bytes = reinterpret_cast<const unsigned char*>(records);
    const std::vector<fileInfoW> read = WideListingRecords(bytes, sizeof records);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].position, 1234u);
    EXPECT_EQ(read[2].crc, 0xC0FFEEu);
    // Cut one byte short, the block has no whole end record: nothing is read.
    EXPECT_TRUE(WideListingRecords(bytes, sizeof records - 1).empty());

    const TMember member = MemberOf(read[0]);
    EXPECT_EQ(member.Folder, Utf8Text("日本語\\"));
    EXPECT_EQ(member.FileName, Utf8Text("表.txt"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(member.Record.method)), "stored");
    EXPECT_EQ(member.Record.position, 1234u);
    EXPECT_EQ(member.Record.filesize, 56u);
    // No best fit (e for é), no "?": the names whole, past what an ANSI field would hold too.
    EXPECT_EQ(MemberOf(read[1]).Folder, "\xC3\xA9t\xC3\xA9\\");
    fileInfoW longName = Named(L"", L"");
    std::wmemset(longName.filename, L'\u8868', 150);
    EXPECT_EQ(MemberOf(longName).FileName.size(), 450u);
}
