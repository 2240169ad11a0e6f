// The queue kept on disk: what the file holds at any moment is the queue that comes back, and a
// damaged file gives back what it can.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/Owned.h"
#include "base/WideText.h"
#include "jobs/ExtractQueue.h"
#include "tests/engine/TestEnv.h"

namespace {

class QueueJournalTest : public ::testing::Test {
protected:
    // A queue over the file as it is now: what a program started after a crash finds.
    std::unique_ptr<TExtractQueue> Reopened() {
        return std::make_unique<TExtractQueue>(std::make_unique<TQueueJournal>(file));
    }
    // The same, once the queue that has the file open has gone without a word.
    void Reopen(std::unique_ptr<TExtractQueue>& queue) {
        queue.reset();
        queue = Reopened();
    }
    static std::vector<std::string> Sources(const TExtractQueue& queue) {
        std::vector<std::string> sources;
        for (int i = 0; i < queue.Count(); ++i)
            sources.push_back(queue.GetSource(i));
        return sources;
    }
    static void AppendEach(TExtractQueue& queue, const std::vector<std::string>& sources) {
        for (const std::string& source : sources)
            queue.Append(source, "C:\\out\\" + source, 0);
    }
    std::string Bytes() const { return ReadWholeFile(file); }
    size_t Records() const {
        size_t count = 0;
        const std::string bytes = Bytes();
        for (size_t at = bytes.find("\x7FKvq"); at != std::string::npos; at = bytes.find("\x7FKvq", at + 1))
            ++count;
        return count;
    }
    void Write(const std::string& bytes) const {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    }

    ScratchFolder folder;
    const std::string file = folder / "queue.dat";
};

TEST_F(QueueJournalTest, TheQueueComesBackInOrderWithTheTakenJobFirst) {
    auto queue = Reopened();
    EXPECT_TRUE(queue->Kept());
    queue->AppendAll({{0, "a", "A"}, {0, "b", "B"}, {0, "c", "C"}, {0, "d", "D"}, {0, U("表.txt"), "E"}});
    queue->Take(2);
    queue->MoveToFront(3);
    queue->Delete(1);
    queue->Retarget([](const std::string& destination) { return "Z\\" + destination; });
    queue->Insert(1, "f", "F", 0);

    Reopen(queue);
    EXPECT_EQ(Sources(*queue), (std::vector<std::string>{"c", U("表.txt"), "f", "b", "d"}));
    EXPECT_EQ(queue->GetDestination(0), "C");
    EXPECT_EQ(queue->GetDestination(1), "Z\\E");

    // Taken again and ended, it is gone; a job the user moves up goes after the one that runs.
    queue->Take(0);
    queue->MoveToFront(2);
    Reopen(queue);
    EXPECT_EQ(Sources(*queue), (std::vector<std::string>{"c", "b", U("表.txt"), "f", "d"}));
    queue->Ended(queue->Take(0).Id);
    queue->Ended(12345);
    Reopen(queue);
    EXPECT_EQ(Sources(*queue), (std::vector<std::string>{"b", U("表.txt"), "f", "d"}));

    // The user's exit: nothing comes back, also of what changes after it.
    Reopen(queue);
    queue->Take(1);
    queue->AbandonKept();
    queue->Append("late", "L", 0);
    EXPECT_EQ(queue->Count(), 4);
    Reopen(queue);
    EXPECT_EQ(queue->Count(), 0);
}

// Thousands of jobs through, the file stays a small multiple of what it holds.
TEST_F(QueueJournalTest, TheFileStaysNearTheSizeOfWhatItHolds) {
    auto queue = Reopened();
    const std::string name(1000, 'x');
    std::vector<TExtractJob> jobs;
    for (int i = 0; i < 600; ++i)
        jobs.push_back({0, name + std::to_string(i), "C:\\out"});
    queue->AppendAll(jobs);
    const size_t full = Bytes().size();
    EXPECT_GT(full, 600u * 1000);
    for (int i = 0; i < 590; ++i)
        queue->Ended(queue->Take(0).Id);
    EXPECT_LT(Bytes().size(), full / 4);
    queue->Clear();
    EXPECT_LT(Bytes().size(), 64u * 1024 + 512);
    queue->Append("last", "L", 0);
    Reopen(queue);
    EXPECT_EQ(Sources(*queue), std::vector<std::string>{"last"});
}

TEST_F(QueueJournalTest, ADamagedFileGivesBackWhatCanBeReadAndIsSetAsideOnce) {
    auto queue = Reopened();
    AppendEach(*queue, {"one", "two", "three", "four"});
    queue.reset();
    std::string bytes = Bytes();
    // A flipped byte in the record of "two", and half a record torn off at the end.
    bytes[bytes.find("two")] = 'T';
    bytes += bytes.substr(bytes.find("\x7FKvq"), 20);
    Write(bytes);

    auto opened = std::make_unique<TQueueJournal>(file);
    EXPECT_TRUE(opened->Damaged());
    EXPECT_TRUE(opened->Kept());
    queue = std::make_unique<TExtractQueue>(std::move(opened));
    EXPECT_EQ(Sources(*queue), (std::vector<std::string>{"one", "three", "four"}));
    EXPECT_EQ(ReadWholeFile(TQueueJournal::DamagedFileOf(file)), bytes);
    queue.reset();
    // Said once: the file was written again from what was read.
    EXPECT_FALSE(TQueueJournal(file).Damaged());

    // Not a queue file at all: nothing comes back, and the queue is kept from now on.
    Write(std::string(5000, '\xEE'));
    Reopen(queue);
    EXPECT_EQ(queue->Count(), 0);
    queue->Append("new", "N", 0);
    Reopen(queue);
    EXPECT_EQ(Sources(*queue), std::vector<std::string>{"new"});
}

// One change, one record: a kill at any moment leaves the queue as it was before a change or after.
TEST_F(QueueJournalTest, EveryChangeIsOneRecord) {
    auto queue = Reopened();
    AppendEach(*queue, {"a", "b", "c"});
    for (const std::function<void()>& change : std::vector<std::function<void()>>{
             [&] { queue->Insert(1, "i", "I", 0); }, [&] { queue->Insert(0, "j", "J", 0); },
             [&] { queue->MoveToFront(3); }, [&] { queue->Take(2); }, [&] { queue->Take(0); }}) {
        const size_t before = Records();
        change();
        EXPECT_EQ(Records(), before + 1);
    }
    Reopen(queue);
    const std::vector<std::string> was = Sources(*queue);
    EXPECT_EQ(was, (std::vector<std::string>{"b", "a", "j", "i", "c"}));
    // Torn in its middle, an insertion is lost whole: nothing moves.
    queue->Insert(2, "k", "K", 0);
    queue.reset();
    const std::string bytes = Bytes();
    Write(bytes.substr(0, bytes.size() - 3));
    queue = Reopened();
    EXPECT_EQ(Sources(*queue), was);
}

// A job running at two ends in a row that were not the user's exit (which keeps nothing) is held:
// the continuous mode leaves it for the user. It stays held until it is taken again; an end at
// which it did not run starts its count afresh.
TEST_F(QueueJournalTest, AJobRunningAtTwoEndsInARowIsHeld) {
    auto queue = Reopened();
    AppendEach(*queue, {"a", "b", "c"});
    queue->Take(0);
    Reopen(queue);
    EXPECT_FALSE(queue->Held(0));
    queue->Take(0);
    Reopen(queue);
    Reopen(queue);
    EXPECT_EQ(Sources(*queue), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(queue->Held(0));
    EXPECT_FALSE(queue->Held(1));
    queue->Take(2);
    Reopen(queue);
    Reopen(queue);
    queue->Take(0);
    Reopen(queue);
    EXPECT_EQ(Sources(*queue), (std::vector<std::string>{"c", "a", "b"}));
    EXPECT_FALSE(queue->Held(0));
    EXPECT_TRUE(queue->Held(1));
    queue->Ended(queue->Take(1).Id);
    Reopen(queue);
    EXPECT_EQ(Sources(*queue), (std::vector<std::string>{"c", "b"}));
}

// A file of a newer version is not this build's to read or to write over: the queue runs in memory.
// One of the first version still reads.
TEST_F(QueueJournalTest, ANewerFileIsLeftAsItIs) {
    AppendEach(*Reopened(), {"kept"});
    const std::string records = Bytes().substr(Bytes().find('\n') + 1);
    Write("Kelvane queue 1\n" + records);
    EXPECT_EQ(Sources(*Reopened()), std::vector<std::string>{"kept"});
    EXPECT_FALSE(TQueueJournal(file).Damaged());

    const std::string newer = "Kelvane queue 12\n" + records;
    Write(newer);
    auto journal = std::make_unique<TQueueJournal>(file);
    EXPECT_TRUE(journal->Newer());
    EXPECT_FALSE(journal->Damaged());
    EXPECT_FALSE(journal->Kept());
    auto queue = std::make_unique<TExtractQueue>(std::move(journal));
    EXPECT_EQ(queue->Count(), 0);
    queue->Append("in memory", "M", 0);
    Reopen(queue);
    EXPECT_EQ(Bytes(), newer);
    EXPECT_FALSE(FileExists(TQueueJournal::DamagedFileOf(file)));
}

// A file that could not be read (another program held it) is never written over, also once it is
// free: its jobs would be lost. The queue runs in memory and says it is not kept. Held for a moment
// only, as by a program that quits, it is read once it is free.
TEST_F(QueueJournalTest, AFileThatCouldNotBeReadIsLeftAsItIs) {
    AppendEach(*Reopened(), {"kept"});
    const std::string before = Bytes();
    const auto hold = [&] {
        return UniqueHandle(
            ::CreateFileW(WideFromUtf8(file).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    };
    UniqueHandle held = hold();
    ASSERT_TRUE(held);
    std::thread quits([&] {
        ::Sleep(200);
        held.Reset();
    });
    auto queue = Reopened();
    quits.join();
    EXPECT_TRUE(queue->Kept());
    EXPECT_EQ(Sources(*queue), std::vector<std::string>{"kept"});
    queue.reset();

    held = hold();
    ASSERT_TRUE(held);
    queue = Reopened();
    held.Reset();
    EXPECT_FALSE(queue->Kept());
    EXPECT_EQ(queue->Count(), 0);
    queue->Append("in memory", "M", 0);
    EXPECT_EQ(queue->Count(), 1);
    EXPECT_EQ(Bytes(), before);
    Reopen(queue);
    EXPECT_EQ(Sources(*queue), std::vector<std::string>{"kept"});
}

}  // namespace
