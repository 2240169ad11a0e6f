#include <gtest/gtest.h>

#include <cstring>

#include "base/Owned.h"
#include "handoff/BlockFormat.h"
#include "handoff/BlockWriter.h"
#include "handoff/Channel.h"
#include "handoff/Receiver.h"
#include "tests/handoff/ReceiverWindow.h"

namespace {

// A section as a sender leaves it, with any bytes in it.
UniqueHandle MakeSection(WPARAM id, const std::vector<char>& bytes, DWORD size) {
    UniqueHandle section(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, SectionName(id).c_str()));
    EXPECT_TRUE(section);
    UniqueWritableView view(::MapViewOfFile(section.Get(), FILE_MAP_WRITE, 0, 0, 0));
    EXPECT_TRUE(view);
    if (view)
        std::memcpy(view.Get(), bytes.data(), bytes.size());
    return section;
}

std::vector<char> Block(const std::string& folder, const std::vector<std::string>& paths) {
    std::vector<char> block(HandOffBlockSize(folder, paths).value());
    EXPECT_TRUE(WriteHandOffBlock(block.data(), block.size(), folder, paths));
    return block;
}

std::vector<char> WithTotalLength(std::vector<char> block, int32_t total) {
    StoreInt32(block.data(), total);
    return block;
}

class ReceiverTest : public ::testing::Test {
protected:
    TestWindowClass windowClass{"KelvaneReceiverTest"};
    TestReceiverWindow window{windowClass};
};

}  // namespace

TEST(Channel, SectionNameCarriesTheIdInUpperCaseHex) {
    EXPECT_EQ(SectionName(kHandOffId), "Kelvane000000FF");
    EXPECT_EQ(SectionName(1), "Kelvane00000001");
    EXPECT_EQ(SectionName(0xABCDEF12), "KelvaneABCDEF12");
    EXPECT_NE(RegisterHandOffMessage(), 0u);
    EXPECT_EQ(RegisterHandOffMessage(), ::RegisterWindowMessageA("Kelvane"));
}

TEST_F(ReceiverTest, CopiesTheBlockAndPostsWmUser) {
    const std::vector<char> block = Block("D:\\out", {"D:\\a.lzh\\b.txt", "D:\\a.lzh\\c.zip\\d.txt"});
    UniqueHandle section = MakeSection(kHandOffId, block, static_cast<DWORD>(block.size() + 1));
    ASSERT_TRUE(ReceiveHandOff(window.Handle(), kHandOffId, window.Pending));
    // The copy is the program's own: the sender may close its section at once.
    section.Reset();
    ASSERT_EQ(window.Pending.Count(), 1u);
    EXPECT_TRUE(WmUserQueued(window.Handle()));
    DispatchPosted();
    ASSERT_EQ(window.Accepted.size(), 1u);
    EXPECT_EQ(window.Accepted[0].Folder, "D:\\out");
    EXPECT_EQ(window.Accepted[0].Paths, (std::vector<std::string>{"D:\\a.lzh\\b.txt", "D:\\a.lzh\\c.zip\\d.txt"}));
    EXPECT_EQ(window.Pending.Count(), 0u);
}

TEST_F(ReceiverTest, RefusesTotalLengthsOutsideTheSection) {
    const std::vector<char> block = Block("D:\\out", {"D:\\a.lzh\\b.txt"});
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    const auto page = static_cast<int32_t>(system.dwPageSize);
    for (const int32_t total : {page + 1, 1 << 30, INT32_MAX, -1, INT32_MIN, 0, 1, 9}) {
        const UniqueHandle section = MakeSection(kHandOffId, WithTotalLength(block, total), 64);
        EXPECT_FALSE(ReceiveHandOff(window.Handle(), kHandOffId, window.Pending)) << total;
    }
    EXPECT_EQ(window.Pending.Count(), 0u);
    EXPECT_FALSE(WmUserQueued(window.Handle()));

    // Whatever the section holds up to its last mapped byte can be taken.
    const UniqueHandle section = MakeSection(kHandOffId, WithTotalLength(block, page), 64);
    EXPECT_TRUE(ReceiveHandOff(window.Handle(), kHandOffId, window.Pending));
    EXPECT_EQ(window.Pending.TakeOldest().value().size(), static_cast<size_t>(page));
}

TEST_F(ReceiverTest, WParamNamesTheSection) {
    const UINT message = RegisterHandOffMessage();
    // No section for id 1: the message is handled and nothing happens.
    ::SendMessageA(window.Handle(), message, 1, 0);
    EXPECT_EQ(window.HandOffMessages, 1);
    EXPECT_EQ(window.BlocksReceived, 0);
    EXPECT_FALSE(WmUserQueued(window.Handle()));

    const UniqueHandle section = MakeSection(1, Block("C:\\", {}), 64);
    ::SendMessageA(window.Handle(), message, 1, 0);
    EXPECT_EQ(window.BlocksReceived, 1);
    ::SendMessageA(window.Handle(), message, kHandOffId, 0);
    EXPECT_EQ(window.BlocksReceived, 1);
}

TEST_F(ReceiverTest, PendingBlocksAreTakenOldestFirst) {
    for (const char* folder : {"E:\\first", "E:\\second"}) {
        const UniqueHandle section = MakeSection(kHandOffId, Block(folder, {"D:\\a.lzh\\b.txt"}), 64);
        ASSERT_TRUE(ReceiveHandOff(window.Handle(), kHandOffId, window.Pending));
    }
    EXPECT_EQ(window.Pending.Count(), 2u);
    DispatchPosted();
    ASSERT_EQ(window.Accepted.size(), 2u);
    EXPECT_EQ(window.Accepted[0].Folder, "E:\\first");
    EXPECT_EQ(window.Accepted[1].Folder, "E:\\second");
    // A WM_USER that finds no block does nothing.
    ::PostMessageA(window.Handle(), WM_USER, 0, 0);
    DispatchPosted();
    EXPECT_EQ(window.EmptyWmUser, 1);
    EXPECT_EQ(window.Accepted.size(), 2u);
}

TEST_F(ReceiverTest, NothingIsKeptWhenWmUserCannotBePosted) {
    HWND gone = nullptr;
    {
        TestReceiverWindow other(windowClass);
        gone = other.Handle();
    }
    const UniqueHandle section = MakeSection(kHandOffId, Block("C:\\", {}), 64);
    EXPECT_FALSE(ReceiveHandOff(gone, kHandOffId, window.Pending));
    EXPECT_EQ(window.Pending.Count(), 0u);
}
