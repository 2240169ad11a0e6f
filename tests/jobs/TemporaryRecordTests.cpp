// The record of where plug-in hosts may have left temporaries: a sweep removes exactly what the
// noted hosts left, keeps noting what it cannot remove yet, and survives a damaged record.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/Owned.h"
#include "jobs/TemporaryRecord.h"
#include "tests/engine/TestEnv.h"

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

    TTemporaryRecord(file).Sweep();
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

TEST(TemporaryRecordTest, ADamagedRecordLosesOnlyItsBadLines) {
    ScratchFolder home, destination;
    const std::string file = home / "temporaries.txt";
    const std::string text = "garbage\r\n0 0123abcd " + destination.Path() + "\r\n14 NOTHEX00 " + destination.Path() +
                             "\r\n14 0123abcd\r\n\r\n" + "14 0123abcd " + destination.Path() + "\n" +
                             std::string(300, '\xFF');
    ASSERT_TRUE(::CloseHandle(::CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)));
    {
        UniqueHandle out(::CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(out.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    }
    MakeFile(destination / "~kv14-0123abcd-1.tmp");
    TTemporaryRecord(file).Sweep();
    EXPECT_EQ(destination.EntryCount(), 0);
}

}  // namespace
