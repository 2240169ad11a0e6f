// The x86-64 plug-in records as .sph samples really lay them out: a listing block read by byte
// offsets, 448 bytes a record, agrees with our declaration; wide listings are read with or without
// the wide record's padding.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/Owned.h"
#include "base/ProcAddress.h"
#include "engine/Member.h"
#include "engine/SpiTypes.h"
#include "engine/WideListing.h"
#include "tests/engine/TestEnv.h"

namespace {

constexpr size_t kRecord = 448;

uint64_t FieldAt(const unsigned char* record, size_t offset) {
    uint64_t value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

}  // namespace

TEST(SphListingTest, RecordsLieAtTheX64OffsetsOurDeclarationNames) {
    static_assert(sizeof(void*) == 8, "this program checks the x86-64 contract");
    UniqueModule module(::LoadLibraryA(SamplePlugin("quirky\\nameonly.sph").c_str()));
    ASSERT_TRUE(module);
    auto getArchiveInfo = ProcAddress<GetArchiveInfoFunc>(module.Get(), "GetArchiveInfo");
    ASSERT_TRUE(getArchiveInfo);
    HLOCAL block = nullptr;
    ASSERT_EQ(getArchiveInfo(TestData("names.ntar").c_str(), 0, kSpiInputDisk, &block), 0);
    const LockedLocal listing(block);
    // docs/readme.txt, small.txt, deeper.zip and the record that ends the list.
    ASSERT_EQ(::LocalSize(block), 4 * kRecord);
    const auto* bytes = static_cast<const unsigned char*>(listing.Data());
    const auto* records = static_cast<const fileInfo*>(listing.Data());
    const char* names[] = {"readme.txt", "small.txt", "deeper.zip"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(names[i]);
        const unsigned char* raw = bytes + i * kRecord;
        EXPECT_STREQ(reinterpret_cast<const char*>(raw + 240), names[i]);
        EXPECT_STREQ(records[i].filename, names[i]);
        EXPECT_EQ(FieldAt(raw, 8), records[i].position);
        EXPECT_EQ(FieldAt(raw, 24), records[i].filesize);
        EXPECT_GT(records[i].filesize, 0u);
    }
    // The sample tar reports its members' headers: the next one follows the readme (a 23-byte line
    // 300 times) in 512-byte blocks.
    EXPECT_EQ(records[0].filesize, 6900u);
    EXPECT_EQ(records[0].position, 0u);
    EXPECT_EQ(records[1].position, 512 + (6900 + 511) / 512 * 512);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 40), "docs\\");
    EXPECT_EQ(bytes[3 * kRecord], 0);
}

TEST(SphListingTest, WideListingsStepBy848Or844BytesAsTheirBlockSays) {
    UniqueModule module(::LoadLibraryA(SamplePlugin("wide\\widezip.sph").c_str()));
    ASSERT_TRUE(module);
    auto getArchiveInfoW = ProcAddress<GetArchiveInfoWFunc>(module.Get(), "GetArchiveInfoW");
    ASSERT_TRUE(getArchiveInfoW);
    const std::string archive = TestData("wide.zip");
    const std::wstring source(archive.begin(), archive.end());
    HLOCAL block = nullptr;
    ASSERT_EQ(getArchiveInfoW(source.c_str(), 0, kSpiInputDisk, &block), 0);
    const LockedLocal listing(block);
    // Four members and the end record, with padding.
    ASSERT_EQ(::LocalSize(block), 5u * 848);
    const auto* padded = static_cast<const unsigned char*>(listing.Data());
    // The same records as plug-ins that declare no padding lay them out.
    std::vector<unsigned char> packed(5 * 844);
    for (size_t i = 0; i < 5; ++i)
        std::memcpy(&packed[i * 844], padded + i * 848, 844);
    using TBlock = std::pair<const unsigned char*, size_t>;
    for (const auto& [bytes, size] : {TBlock{padded, 5 * 848}, TBlock{packed.data(), packed.size()}}) {
        SCOPED_TRACE(size);
        const std::vector<fileInfoW> records = WideListingRecords(bytes, size);
        ASSERT_EQ(records.size(), 4u);
        EXPECT_STREQ(records[1].path, L"\u00e9t\u00e9\\");
        EXPECT_STREQ(records[1].filename, L"\ud55c\uad6d.txt");
        EXPECT_EQ(records[1].filesize, 34u);
        EXPECT_GT(records[1].position, records[0].position);
        EXPECT_EQ(MemberOf(records[1]).Name(), "\xC3\xA9t\xC3\xA9\\\xED\x95\x9C\xEA\xB5\xAD.txt");
        EXPECT_EQ(MemberOf(records[1]).Record.position, records[1].position);
    }
}
