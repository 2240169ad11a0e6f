// The sender in a process of its own, the receiver in a window of this one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "base/Owned.h"
#include "engine/JobPaths.h"
#include "handoff/BlockWriter.h"
#include "handoff/Channel.h"
#include "handoff/Sender.h"
#include "tests/handoff/ReceiverWindow.h"

namespace {

std::string Sender(const std::string& folder,
                   const std::vector<std::string>& paths,
                   const char* program = "handoff_send.exe") {
    std::string line = "\"";
    for (const std::string& part : {ProgramFolder() + program, folder}) {
        line.append(part).append("\" \"");
    }
    for (const std::string& path : paths)
        line.append(path).append("\" \"");
    line.resize(line.size() - 2);
    return line;
}

// Paths one per line in a temporary file, for a sender that gets more than a command line holds.
class PathList {
public:
    explicit PathList(const std::vector<std::string>& paths) {
        char folder[MAX_PATH] = {};
        char file[MAX_PATH] = {};
        ::GetTempPathA(MAX_PATH, folder);
        EXPECT_NE(::GetTempFileNameA(folder, "kvl", 0, file), 0u);
        path_ = file;
        std::ofstream out(path_, std::ios::binary);
        for (const std::string& path : paths)
            out << path << '\n';
    }
    ~PathList() { ::DeleteFileA(path_.c_str()); }
    PathList(const PathList&) = delete;
    PathList& operator=(const PathList&) = delete;

    std::string Argument() const { return "@" + path_; }

private:
    std::string path_;
};

BOOL CALLBACK CollectReceivers(HWND window, LPARAM found) {
    char className[256] = {};
    ::GetClassNameA(window, className, sizeof className);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (std::strcmp(className, "Kelvane") == 0 && process == ::GetCurrentProcessId())
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

}  // namespace

TEST(HandOffChannel, DeliversFolderAndPathsToTheWindow) {
    TestWindowClass windowClass;
    TestReceiverWindow window(windowClass);
    const std::vector<std::string> paths = {"D:\\a.lzh\\docs\\inner.zip\\readme.txt", "D:\\表.lzh\\ソ.txt"};
    EXPECT_EQ(RunServingSentMessages({Sender("E:\\tmp", paths)}), std::vector<int>{0});
    EXPECT_EQ(window.BlocksReceived, 1);
    DispatchPosted();
    ASSERT_EQ(window.Accepted.size(), 1u);
    EXPECT_EQ(window.Accepted[0].Folder, "E:\\tmp");
    EXPECT_EQ(window.Accepted[0].Paths, paths);
}

// The sender compares the class name as GetClassNameA reports it, byte for byte. Here the sender runs
// in this process: across processes Wine reports the spelling of the name's atom, and the atom
// "Kelvane" exists first, from the registered message.
// The block holds nothing of pointer size: the 64-bit sender (KelvaneSX64.dll's, in the 64-bit shell)
// writes the very bytes the 32-bit one does, and the 32-bit receiver and reader take them whole.
TEST(HandOffChannel, SendersOfBothArchitecturesWriteTheSameBlock) {
    TestWindowClass windowClass;
    TestReceiverWindow window(windowClass);
    std::vector<std::string> many;
    for (int i = 0; i < 10000; ++i) {
        std::string path = "D:\\表.lzh\\" + std::to_string(i) + "\\";
        many.push_back(path + std::string(300 - path.size(), 'x'));
    }
    const struct {
        std::string Folder;
        std::vector<std::string> Paths;
    } cases[] = {
        {"E:\\表", {"D:\\ソフト.lzh\\表.txt", "D:\\予定表.zip\\inner.zip\\ｱ.txt"}},
        // Every field at its largest: the longest folder the drop handler passes, a path at the bound
        // of a job's path, and one past it, whole all the same for the program to refuse by name.
        {"E:\\" + std::string(MAX_PATH - 3, 'd'),
         {"D:\\a.lzh\\" + std::string(kMaxJobPath - 9, 'x'), "D:\\b.lzh\\" + std::string(kMaxJobPath - 8, 'y')}},
        {"E:\\out", many},
    };
    for (const char* program : {"handoff_send.exe", "handoff_send64.exe"}) {
        for (const auto& sent : cases) {
            const PathList list(sent.Paths);
            EXPECT_EQ(RunServingSentMessages({Sender(sent.Folder, {list.Argument()}, program)}), std::vector<int>{0});
            const std::optional<std::vector<char>> received = window.Pending.TakeOldest();
            ASSERT_TRUE(received) << program;
            std::vector<char> expected(HandOffBlockSize(sent.Folder, sent.Paths).value());
            ASSERT_TRUE(WriteHandOffBlock(expected.data(), expected.size(), sent.Folder, sent.Paths));
            EXPECT_TRUE(*received == expected) << program << ", " << sent.Paths.size() << " paths";

            const std::optional<THandOffRequest> read = ReadHandOffBlock(*received);
            ASSERT_TRUE(read);
            EXPECT_EQ(read->Folder, sent.Folder);
            ASSERT_EQ(read->Paths.size(), sent.Paths.size()) << program;
            for (size_t i = 0; i < sent.Paths.size(); ++i)
                ASSERT_EQ(read->Paths[i], sent.Paths[i]) << program << ", path " << i;
        }
    }
}

TEST(HandOffChannel, ClassNameMustMatchByteForByte) {
    for (const char* name : {"KELVANE", "kelvane", "Kelvan", "Kelvane2", " Kelvane"}) {
        TestWindowClass windowClass(name);
        TestReceiverWindow window(windowClass);
        char reported[256] = {};
        ::GetClassNameA(window.Handle(), reported, sizeof reported);
        ASSERT_STREQ(reported, name);
        SendHandOff("E:\\tmp", {"D:\\a.lzh\\b.txt"});
        EXPECT_EQ(window.HandOffMessages, 0) << name;
    }
}

TEST(HandOffChannel, OnlyTheFirstWindowInEnumerationOrderReceives) {
    TestWindowClass windowClass;
    TestReceiverWindow one(windowClass);
    TestReceiverWindow two(windowClass);
    std::vector<HWND> order;
    ::EnumWindows(CollectReceivers, reinterpret_cast<LPARAM>(&order));
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(RunServingSentMessages({Sender("E:\\tmp", {"D:\\a.lzh\\b.txt"})}), std::vector<int>{0});
    const TestReceiverWindow& first = order[0] == one.Handle() ? one : two;
    const TestReceiverWindow& second = order[0] == one.Handle() ? two : one;
    EXPECT_EQ(first.BlocksReceived, 1);
    EXPECT_EQ(second.HandOffMessages, 0);
}

TEST(HandOffChannel, TwoHandOffsBeforeTheFirstWmUserAreBothKept) {
    TestWindowClass windowClass;
    TestReceiverWindow window(windowClass);
    EXPECT_EQ(RunServingSentMessages({Sender("E:\\first", {"D:\\a.lzh\\1.txt"})}), std::vector<int>{0});
    EXPECT_EQ(RunServingSentMessages({Sender("E:\\second", {"D:\\a.lzh\\2.txt"})}), std::vector<int>{0});
    EXPECT_EQ(window.Pending.Count(), 2u);
    DispatchPosted();
    ASSERT_EQ(window.Accepted.size(), 2u);
    EXPECT_EQ(window.Accepted[0].Paths, std::vector<std::string>{"D:\\a.lzh\\1.txt"});
    EXPECT_EQ(window.Accepted[1].Paths, std::vector<std::string>{"D:\\a.lzh\\2.txt"});
    EXPECT_EQ(window.EmptyWmUser, 0);
}

TEST(HandOffChannel, SimultaneousSendersTakeTurns) {
    TestWindowClass windowClass;
    TestReceiverWindow window(windowClass);
    const std::vector<int> exits =
        RunServingSentMessages({Sender("E:\\one", {"D:\\a.lzh\\1.txt"}),
                                Sender("E:\\two", {"D:\\b.lzh\\2.txt", "D:\\b.lzh\\3.txt"}), Sender("E:\\three", {})});
    EXPECT_EQ(exits, (std::vector<int>{0, 0, 0}));
    DispatchPosted();
    std::vector<std::string> folders;
    for (const THandOffRequest& request : window.Accepted) {
        folders.push_back(request.Folder);
        EXPECT_EQ(request.Paths.size(), request.Folder == "E:\\two" ? 2u : request.Folder == "E:\\one" ? 1u : 0u);
    }
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, (std::vector<std::string>{"E:\\one", "E:\\three", "E:\\two"}));
}

TEST(HandOffChannel, SenderLeavesASectionItDidNotMakeAlone) {
    TestWindowClass windowClass;
    TestReceiverWindow window(windowClass);
    const UniqueHandle section(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16, SectionName(kHandOffId).c_str()));
    const UniqueView view(::MapViewOfFile(section.Get(), FILE_MAP_READ, 0, 0, 0));
    ASSERT_TRUE(view);
    EXPECT_EQ(RunServingSentMessages({Sender("E:\\tmp", {std::string(100, 'x')})}), std::vector<int>{0});
    EXPECT_EQ(window.HandOffMessages, 0);
    const auto* bytes = static_cast<const char*>(view.Get());
    EXPECT_EQ(std::count(bytes, bytes + 4096, '\0'), 4096);
}

TEST(HandOffChannel, SenderGivesUpWhenAnotherDoesNotFinish) {
    TestWindowClass windowClass;
    TestReceiverWindow window(windowClass);
    const UniqueHandle mutex(::CreateMutexA(nullptr, FALSE, kSenderMutexName));
    const MutexLock busy(mutex.Get(), 0);
    ASSERT_TRUE(busy);
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(RunServingSentMessages({Sender("E:\\tmp", {"D:\\a.lzh\\b.txt"})}), std::vector<int>{0});
    EXPECT_GE(::GetTickCount() - start, kSenderWaitMs - 100);
    EXPECT_EQ(window.HandOffMessages, 0);
}
