#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include "handoff/BlockFormat.h"
#include "handoff/BlockReader.h"
#include "handoff/BlockWriter.h"
#include "tests/engine/TestEnv.h"

namespace {

template <typename TChar>
std::vector<char> WriteBlock(const std::basic_string<TChar>& folder, const std::vector<std::basic_string<TChar>>& paths) {
    const std::optional<uint32_t> size = HandOffBlockSize(folder, paths);
    EXPECT_TRUE(size);
    std::vector<char> block(size.value_or(0), '\x7f');
    EXPECT_TRUE(WriteHandOffBlock(block.data(), block.size(), folder, paths));
    return block;
}

std::vector<char> Write(const std::string& folder, const std::vector<std::string>& paths) {
    return WriteBlock(folder, paths);
}

std::vector<char> WriteWide(const std::wstring& folder, const std::vector<std::wstring>& paths) {
    return WriteBlock(folder, paths);
}

std::string Bytes(const std::vector<char>& block, size_t from, size_t count) {
    return std::string(block.data() + from, count);
}

// A block placed right before a page that cannot be read: one byte too far and the test crashes.
class GuardedBlock {
public:
    explicit GuardedBlock(const std::vector<char>& bytes) {
        SYSTEM_INFO system;
        ::GetSystemInfo(&system);
        const size_t page = system.dwPageSize;
        const size_t pages = (bytes.size() + page - 1) / page + 1;
        base_ = static_cast<char*>(::VirtualAlloc(nullptr, pages * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old = 0;
        ::VirtualProtect(base_ + (pages - 1) * page, page, PAGE_NOACCESS, &old);
        data_ = base_ + (pages - 1) * page - bytes.size();
        std::copy(bytes.begin(), bytes.end(), data_);
        size_ = bytes.size();
    }
    ~GuardedBlock() { ::VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedBlock(const GuardedBlock&) = delete;
    GuardedBlock& operator=(const GuardedBlock&) = delete;

    std::span<const char> Span() const { return {data_, size_}; }

private:
    char* base_ = nullptr;
    char* data_ = nullptr;
    size_t size_ = 0;
};

std::optional<THandOffRequest> ReadGuarded(const std::vector<char>& bytes) {
    const GuardedBlock guarded(bytes);
    return ReadHandOffBlock(guarded.Span());
}

std::optional<TWideHandOffRequest> ReadWideGuarded(const std::vector<char>& bytes) {
    const GuardedBlock guarded(bytes);
    return ReadWideHandOffBlock(guarded.Span());
}

// The bytes of a text and its zero as the Unicode form stores them.
std::string Units(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}

std::vector<char> Raw(std::initializer_list<std::string> parts, int32_t count, size_t countAfterPart = 1) {
    std::vector<char> block(4, '\0');
    size_t index = 0;
    for (const std::string& part : parts) {
        block.insert(block.end(), part.begin(), part.end());
        if (++index == countAfterPart) {
            char bytes[4];
            StoreInt32(bytes, count);
            block.insert(block.end(), bytes, bytes + 4);
        }
    }
    StoreInt32(block.data(), static_cast<int32_t>(block.size()));
    return block;
}

}  // namespace

TEST(BlockFormat, WorkedExampleByteForByte) {
    const std::vector<std::string> paths = {"D:\\a.lzh\\b.txt", "D:\\a.lzh\\c.zip\\d.txt"};
    EXPECT_EQ(HandOffBlockSize("D:\\out", paths), 52u);
    // The section is one byte larger than the block; the writer leaves that byte alone.
    std::vector<char> section(53, '\x7f');
    ASSERT_TRUE(WriteHandOffBlock(section.data(), section.size(), "D:\\out", paths));
    EXPECT_EQ(Bytes(section, 0, 4), std::string("\x34\0\0\0", 4));
    EXPECT_EQ(Bytes(section, 4, 7), std::string("D:\\out\0", 7));
    EXPECT_EQ(Bytes(section, 11, 4), std::string("\x02\0\0\0", 4));
    EXPECT_EQ(Bytes(section, 15, 15), std::string("D:\\a.lzh\\b.txt\0", 15));
    EXPECT_EQ(Bytes(section, 30, 21), std::string("D:\\a.lzh\\c.zip\\d.txt\0", 21));
    EXPECT_EQ(section[51], '\0');
    EXPECT_EQ(section[52], '\x7f');

    // A smaller section gets nothing written.
    std::vector<char> small(51, '\x7f');
    EXPECT_FALSE(WriteHandOffBlock(small.data(), small.size(), "D:\\out", paths));
    EXPECT_EQ(small, std::vector<char>(51, '\x7f'));

    const std::optional<THandOffRequest> read = ReadGuarded(std::vector<char>(section.begin(), section.begin() + 52));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Folder, "D:\\out");
    EXPECT_EQ(read->Paths, paths);
}

TEST(BlockFormat, EmptyListIsFolderCountAndEndByte) {
    const std::vector<char> block = Write("D:\\out", {});
    ASSERT_EQ(block.size(), 16u);
    EXPECT_EQ(Bytes(block, 0, 16), std::string("\x10\0\0\0D:\\out\0\0\0\0\0\0", 16));
    const std::optional<THandOffRequest> read = ReadGuarded(block);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Folder, "D:\\out");
    EXPECT_TRUE(read->Paths.empty());
    EXPECT_EQ(Write("", {}).size(), kMinBlockSize);
}

TEST(BlockFormat, LongPathsAreWrittenWhole) {
    // Paths into archives pass 260 bytes easily; cut, one would name another member.
    const std::string longPath = "D:\\a.lzh\\" + LongMemberPath();
    const std::vector<char> block = Write("E:\\tmp", {longPath, "D:\\b.lzh\\c.txt"});
    EXPECT_EQ(block.size(), 4u + 7 + 4 + longPath.size() + 1 + 15 + 1);
    EXPECT_EQ(block.size(), static_cast<size_t>(LoadInt32(block.data())));
    EXPECT_EQ(Bytes(block, 15, longPath.size() + 1), longPath + '\0');
    const std::optional<THandOffRequest> read = ReadGuarded(block);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Paths, (std::vector<std::string>{longPath, "D:\\b.lzh\\c.txt"}));
}

TEST(BlockFormat, DoubleBytePathsKeepTheirBytes) {
    // 表 is 95 5C and ソ is 83 5C in code page 932: trail bytes equal to '\'.
    const std::string folder = "E:\\表";
    const std::vector<std::string> paths = {"D:\\ソフト.lzh\\表.txt", "D:\\予定表.zip\\ｱ.txt"};
    ASSERT_EQ(folder, "E:\\\x95\x5C");
    const std::vector<char> block = Write(folder, paths);
    EXPECT_EQ(block.size(), 4u + folder.size() + 1 + 4 + paths[0].size() + 1 + paths[1].size() + 1 + 1);
    const std::optional<THandOffRequest> read = ReadGuarded(block);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Folder, folder);
    EXPECT_EQ(read->Paths, paths);
}

TEST(BlockFormat, UnicodeFormKeepsNamesWholeAndIsToldApart) {
    const std::wstring folder = L"E:\\Jos\u00e9";
    const std::vector<std::wstring> paths = {L"D:\\\u00e9t\u00e9.zip\\\ud55c\uad6d.txt", L"D:\\a.zip\\\U0001F600.txt",
                                             L"D:\\\u30bd\u30d5\u30c8.lzh\\\u8868.txt"};
    const std::vector<char> block = WriteWide(folder, paths);
    const size_t size = 4 + 2 * 8 + 4 + 2 * (paths[0].size() + paths[1].size() + paths[2].size() + 3) + 2;
    ASSERT_EQ(block.size(), size);
    EXPECT_EQ(static_cast<uint32_t>(LoadInt32(block.data())), size | 0x80000000u);
    EXPECT_EQ(Bytes(block, 4, 16), Units(folder));
    EXPECT_EQ(Bytes(block, 20, 4), std::string("\x03\0\0\0", 4));
    EXPECT_EQ(Bytes(block, 24, 2 * (paths[0].size() + 1)), Units(paths[0]));
    EXPECT_EQ(Bytes(block, size - 2, 2), std::string(2, '\0'));
    EXPECT_TRUE(IsWideHandOffBlock(block));
    const std::optional<TWideHandOffRequest> read = ReadWideGuarded(block);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Folder, folder);
    EXPECT_EQ(read->Paths, paths);
    // Each reader takes its own form only: an ANSI block never passes for a Unicode one.
    EXPECT_FALSE(ReadGuarded(block));
    const std::vector<char> ansi = Write("D:\\out", {"D:\\a.lzh\\b.txt"});
    EXPECT_FALSE(IsWideHandOffBlock(ansi));
    EXPECT_FALSE(ReadWideGuarded(ansi));
    EXPECT_EQ(WriteWide(L"", {}).size(), kMinWideBlockSize);
}

TEST(BlockReader, TruncatedBlocksNeverReadPastTheirEnd) {
    const std::vector<char> whole = Write("D:\\out", {"D:\\a.lzh\\b.txt", "D:\\a.lzh\\c.zip\\d.txt"});
    for (size_t size = 0; size <= whole.size(); ++size) {
        const std::optional<THandOffRequest> read = ReadGuarded({whole.begin(), whole.begin() + size});
        // Folder and count end at 15, the paths at 30 and 51.
        const size_t paths = size >= 51 ? 2 : size >= 30 ? 1 : 0;
        EXPECT_EQ(read.has_value(), size >= 15) << size;
        if (read) {
            EXPECT_EQ(read->Paths.size(), paths) << size;
        }
    }
}

// Odd lengths are refused whole; a lone surrogate is handed on as it is, for the receiver to refuse.
TEST(BlockReader, UnicodeBlocksNeverReadPastTheirEnd) {
    const std::vector<char> whole = WriteWide(L"D:\\o", {L"a\xD800", L"bc"});
    ASSERT_EQ(whole.size(), 4u + 10 + 4 + 6 + 6 + 2);
    for (size_t size = 0; size <= whole.size(); ++size) {
        std::vector<char> cut(whole.begin(), whole.begin() + size);
        const std::optional<TWideHandOffRequest> read = ReadWideGuarded(cut);
        // Folder and count end at 18, the paths at 24 and 30.
        EXPECT_EQ(read.has_value(), size >= 18 && size % 2 == 0) << size;
        if (read) {
            EXPECT_EQ(read->Paths.size(), size >= 30 ? 2u : size >= 24 ? 1u : 0u) << size;
        }
    }
    const std::optional<TWideHandOffRequest> read = ReadWideGuarded(whole);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Paths[0], std::wstring(L"a\xD800"));
    // A zero byte that is half of a unit ends no text: "a" is 61 00, "\u0100" is 00 01.
    std::vector<char> halves = WriteWide(L"D:", {L"a\u0100"});
    EXPECT_EQ(ReadWideGuarded(halves).value().Paths, std::vector<std::wstring>{L"a\u0100"});
    // A count far larger than the paths present, and a folder without its zero.
    std::vector<char> counted = WriteWide(L"D:", {L"a"});
    StoreInt32(counted.data() + 10, INT32_MAX);
    counted.resize(counted.size() - 2);
    EXPECT_EQ(ReadWideGuarded(counted).value().Paths.size(), 1u);
    std::vector<char> unterminated(4, '\0');
    for (const char byte : Units(L"D:\\out"))
        unterminated.push_back(byte == 0 ? 'x' : byte);
    StoreInt32(unterminated.data(), static_cast<int32_t>(unterminated.size() | 0x80000000u));
    EXPECT_FALSE(ReadWideGuarded(unterminated));
}

TEST(BlockReader, MissingTerminatorsAndBadCounts) {
    // Folder without its zero.
    EXPECT_FALSE(ReadGuarded({'\x0e', 0, 0, 0, 'D', ':', '\\', 'o', 'u', 't', 'x', 'y', 'z', 'w'}));
    // Last path without its zero: only the whole ones.
    std::optional<THandOffRequest> read = ReadGuarded(Raw({std::string("D:\\o\0", 5), std::string("a\0", 2), "bc"}, 2));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Paths, std::vector<std::string>{"a"});
    // A count larger than the paths present gives the paths present.
    read = ReadGuarded(Raw({std::string("D:\\o\0", 5), std::string("a\0b\0", 4)}, 1000000));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Paths, (std::vector<std::string>{"a", "b"}));
    read = ReadGuarded(Raw({std::string("D:\\o\0", 5), std::string("a\0b\0", 4)}, INT32_MAX));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Paths.size(), 2u);
    // Zero and negative counts give no paths, whatever follows.
    for (const int32_t count : {0, -1, INT32_MIN}) {
        read = ReadGuarded(Raw({std::string("D:\\o\0", 5), std::string("a\0b\0", 4)}, count));
        ASSERT_TRUE(read);
        EXPECT_TRUE(read->Paths.empty()) << count;
    }
    // A count cut by the block's end.
    EXPECT_FALSE(ReadGuarded({'\x0a', 0, 0, 0, 'D', 'x', 0, 1, 0, 0}));
}

TEST(BlockReader, RandomBlocksStayInside) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 5000; ++round) {
        std::vector<char> block(random() % 300);
        // Mostly zeros and short texts, so that folders, counts and paths do occur.
        for (char& byte : block)
            byte = random() % 4 == 0 ? '\0' : static_cast<char>(random());
        if (block.size() >= 16 && random() % 2)
            StoreInt32(block.data() + 4 + random() % 8, static_cast<int32_t>(random() % 8) - 2);
        // Half of them in the Unicode form, of odd and even lengths, with surrogates of either half.
        if (block.size() >= 4 && random() % 2) {
            StoreInt32(block.data(), static_cast<int32_t>(block.size() | 0x80000000u));
            for (size_t at = 4; at + 1 < block.size(); at += 2 + random() % 16)
                block[at + 1] = static_cast<char>(0xD8 + random() % 8);
        }
        if (const std::optional<THandOffRequest> read = ReadGuarded(block)) {
            size_t used = 4 + read->Folder.size() + 1 + 4;
            for (const std::string& path : read->Paths)
                used += path.size() + 1;
            ASSERT_LE(used, block.size()) << "round " << round;
        }
        if (const std::optional<TWideHandOffRequest> read = ReadWideGuarded(block)) {
            size_t used = 4 + 2 * (read->Folder.size() + 1) + 4;
            for (const std::wstring& path : read->Paths)
                used += 2 * (path.size() + 1);
            ASSERT_LE(used, block.size()) << "round " << round;
            ASSERT_EQ(block.size() % 2, 0u) << "round " << round;
        }
    }
}
