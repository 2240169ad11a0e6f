// The x86-64 plug-in record as a .sph sample really lays it out: a listing block read by byte
// offsets, 448 bytes a record, agrees with our declaration.
#include <gtest/gtest.h>

#include <cstring>

#include "base/Owned.h"
#include "base/ProcAddress.h"
#include "engine/SpiTypes.h"
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
