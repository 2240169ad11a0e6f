// The record of where plug-in hosts may have left temporaries: a sweep removes exactly what the
// noted hosts left, keeps noting what it cannot remove yet, and survives a damaged record.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/Owned.h"
#include "jobs/TemporaryRecord.h"
#include "tests/engine/TestEnv.h"
#include "tests/jobs/HeldRecordLock.h"

namespace {

// The process ids below are no multiple of four, so never those of a running process.
void MakeFile(const std::string& path) {
    ASSERT_TRUE(UniqueHandle(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr))) << path;
}

TEST(TemporaryRecordTest, SweepsExactlyTheNotedHostsTemporaries) {
    ScratchFolder home, destination, temporary;
    const std::string file = home / "temporaries.txt";
    {
        TTemporaryRecord record(file);
        ASSERT_TRUE(record.Note(4242, "0123abcd", destination.Path()));
        ASSERT_TRUE(record.Note(4242, "0123abcd", temporary.Path()));
        ASSERT_TRUE(record.Note(4242, "0123abcd", temporary.Path())) << "noted twice, kept once";
    }
    MakeFile(destination / "~kv4242-0123abcd-1.tmp");
    ASSERT_TRUE(::CreateDirectoryA((destination / "~kv4242-0123abcd-2.tmp").c_str(), nullptr));
    MakeFile(destination / "~kv4242-0123abcd-2.tmp\\part.bin");
    MakeFile(temporary / "~kv4242-0123abcd-3.zip");
    // Another host's names, and a user's own file that merely looks alike.
    for (const char* other : {"~kv4242-0badf00d-1.tmp", "~kv4242-notes.txt", "~kv4243-0123abcd-1.tmp"})
        MakeFile(destination / other);
    // A copy that a plug-in still holds open cannot go yet.
    UniqueHandle held(::CreateFileA((temporary / "~kv4242-0123abcd-3.zip").c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    // Rewrites of the record that a killed program left beside it, and one of a program that still runs.
    const std::string running = home / ("~kv" + std::to_string(::GetCurrentProcessId()) + "-0123abcd-5.tmp");
    MakeFile(home / "~kv4242-0badf00d-4.tmp");
    MakeFile(running);
    // A link to a user's read-only file, which shares its attributes.
    const std::string users = home / "users.zip";
    MakeFile(users);
    ASSERT_TRUE(::SetFileAttributesA(users.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(::CreateHardLinkA((temporary / "~kv4242-0123abcd-6.zip").c_str(), users.c_str(), nullptr));

    TTemporaryRecord(file).Sweep();
    EXPECT_TRUE(::GetFileAttributesA(users.c_str()) & FILE_ATTRIBUTE_READONLY) << "the user's file changed";
    ASSERT_TRUE(::SetFileAttributesA(users.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(FileExists(home / "~kv4242-0badf00d-4.tmp"));
    EXPECT_TRUE(FileExists(running));
    ::DeleteFileA(running.c_str());
    EXPECT_EQ(destination.EntryCount(), 3);
    EXPECT_TRUE(FileExists(destination / "~kv4242-notes.txt"));
    EXPECT_TRUE(FileExists(temporary / "~kv4242-0123abcd-3.zip"));
    held.Reset();
    // The next start finds it still noted.
    TTemporaryRecord(file).Sweep();
    EXPECT_EQ(temporary.EntryCount(), 0);
    EXPECT_EQ(destination.EntryCount(), 3);
    EXPECT_FALSE(FileExists(file)) << "nothing left to note";
}

void MakeRecord(const std::string& file, const std::string& text) {
    UniqueHandle out(::CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(out && ::WriteFile(out.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
}

TEST(TemporaryRecordTest, ADamagedRecordLosesOnlyItsBadLines) {
    ScratchFolder home, destination;
    const std::string file = home / "temporaries.txt";
    const std::string text = "garbage\r\n0 0123abcd " + destination.Path() + "\r\n14 NOTHEX00 " + destination.Path() +
                             "\r\n14 0123abcd\r\n\r\n" + "14 0123abcd " + destination.Path() + "\n" +
                             std::string(300, '\xFF');
    MakeRecord(file, text);
    MakeFile(destination / "~kv14-0123abcd-1.tmp");
    TTemporaryRecord(file).Sweep();
    EXPECT_EQ(destination.EntryCount(), 0);
}

// A drive letter that no volume has here, as a USB disk's while it is out.
std::string AbsentDrive() {
    const DWORD drives = ::GetLogicalDrives();
    for (char letter = 'Q'; letter <= 'Y'; ++letter)
        if (!(drives & (1u << (letter - 'A'))))
            return std::string(1, letter) + ":";
    return {};
}

// When an entry was noted, as the record writes it: seconds since 1601, in UTC.
std::string NotedDaysAgo(int days) {
    FILETIME now = {};
    ::GetSystemTimeAsFileTime(&now);
    const uint64_t seconds = (uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime) / 10000000;
    return std::to_string(seconds - uint64_t(days) * 24 * 60 * 60);
}

// A folder that does not answer (a network drive not yet connected, a disk unplugged) may still
// hold what a host left: it stays noted until it is known to be gone, or has been noted a month.
// Lines of the older form, without the time, are read and from then on age.
TEST(TemporaryRecordTest, AFolderThatDoesNotAnswerStaysNotedUntilItIsGoneOrAMonthOld) {
    ScratchFolder home, parent;
    const std::string file = home / "temporaries.txt";
    const std::string drive = AbsentDrive();
    ASSERT_FALSE(drive.empty());
    const std::string absent = drive + "\\Kelvane\\out";
    const std::string gone = parent / "out";
    const std::string recently = NotedDaysAgo(29);
    MakeRecord(file, "14 0123abcd " + absent + "\r\n" +  //
                         "18 0123abcd " + gone + "\r\n" +  //
                         "22 0123abcd " + absent + "\\old\t" + NotedDaysAgo(31) + "\r\n" +
                         "26 0123abcd " + absent + "\\recent\t" + recently + "\r\n");
    TTemporaryRecord(file).Sweep();
    const std::string left = ReadWholeFile(file);
    EXPECT_NE(left.find("14 0123abcd " + absent + "\t"), std::string::npos) << left;
    EXPECT_NE(left.find("26 0123abcd " + absent + "\\recent\t" + recently), std::string::npos) << left;
    EXPECT_EQ(left.find(gone), std::string::npos) << left;
    EXPECT_EQ(left.find("\\old"), std::string::npos) << left;
}

// A record that cannot be read now (another program has it open for writing) is never rewritten:
// what it notes would be lost.
TEST(TemporaryRecordTest, ARecordThatCannotBeReadIsNotRewritten) {
    ScratchFolder home, destination;
    const std::string file = home / "temporaries.txt";
    ASSERT_TRUE(TTemporaryRecord(file).Note(14, "0123abcd", destination.Path()));
    MakeFile(destination / "~kv14-0123abcd-1.tmp");
    {
        UniqueHandle held(::CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_FALSE(TTemporaryRecord(file).Note(18, "0123abcd", destination.Path()));
        TTemporaryRecord(file).Sweep();
        EXPECT_EQ(destination.EntryCount(), 1);
    }
    TTemporaryRecord(file).Sweep();
    EXPECT_EQ(destination.EntryCount(), 0) << "the first note was kept";
}

// Any program of the session may hold the record's lock. Noting and sweeping wait for it only a
// moment, then give up, to be tried again later.
TEST(TemporaryRecordTest, AHeldLockDelaysTheNoteAndTheSweepOnlyAMoment) {
    ScratchFolder home, destination;
    const std::string file = home / "temporaries.txt";
    ASSERT_TRUE(TTemporaryRecord(file).Note(14, "0123abcd", destination.Path()));
    MakeFile(destination / "~kv14-0123abcd-1.tmp");
    {
        const THeldRecordLock other(file);
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_FALSE(TTemporaryRecord(file).Note(18, "0123abcd", destination.Path()));
        TTemporaryRecord(file).Sweep();
        EXPECT_LT(::GetTickCount64() - start, 5000u);
        EXPECT_EQ(destination.EntryCount(), 1);
    }
    TTemporaryRecord(file).Sweep();
    EXPECT_EQ(destination.EntryCount(), 0);
    EXPECT_FALSE(FileExists(file));
}

}  // namespace
