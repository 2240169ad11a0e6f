// The plug-in host as the resident program uses it: a crash costs one job and the host's life,
// never the caller's; what a dead host left is removed; malformed messages are refused whole.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "base/ModulePath.h"
#include "engine/Temporary.h"
#include "host/Messages.h"
#include "jobs/PluginHost.h"
#include "tests/engine/TestEnv.h"

namespace {

// The engine's temporary files of any process in the user's temporary folder.
int TemporariesOfAnyone() {
    int count = 0;
    WIN32_FIND_DATAA found;
    UniqueFind search(::FindFirstFileA((UserTemporaryFolder() + "~kv*").c_str(), &found));
    if (search) {
        do
            ++count;
        while (::FindNextFileA(search.Get(), &found));
    }
    return count;
}

class PluginHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        susie.SetPath(SamplePlugin(""));
        temporaries = TemporariesOfAnyone();
    }
    void TearDown() override { EXPECT_EQ(TemporariesOfAnyone(), temporaries); }

    const std::string good = TestData("outer.zip\\mid.tar\\pack\\inner.zip\\small.txt");
    SusieSettings susie;
    ScratchFolder out;
    TPluginHost host{ProgramFolder() + kHostFileName};
    int temporaries = 0;
};

TEST_F(PluginHostTest, ACrashCostsOneJobAndTwoCrashesLeaveThePluginOut) {
    ASSERT_TRUE(host.Extract(good, out / "before.txt").Succeeded());
    // The first crash comes while the plug-in reads a temporary copy made for it.
    for (const char* crashing : {"crashes.zip\\inner.crash\\a.txt", "broken.crash\\a.txt"}) {
        SCOPED_TRACE(crashing);
        const TExtractOutcome crashed = host.Extract(TestData(crashing), out / "crashed.txt");
        EXPECT_EQ(crashed.Failure.Kind, TFailureKind::kPluginCrashed);
        EXPECT_EQ(crashed.Failure.Plugin, "crash.spi");
        EXPECT_NE(crashed.Reason().find("crash.spi"), std::string::npos);
        // A fresh host takes the next job.
        ASSERT_TRUE(host.Extract(good, out / "after.txt").Succeeded());
    }
    const TExtractOutcome skipped = host.Extract(TestData("broken.crash\\a.txt"), out / "skipped.txt");
    EXPECT_EQ(skipped.Failure.Kind, TFailureKind::kNoPlugin);
    EXPECT_EQ(skipped.Failure.Skipped, "crash.spi");
    EXPECT_NE(skipped.Reason().find("crash.spi"), std::string::npos);
    EXPECT_EQ(out.EntryCount(), 2);
}

TEST_F(PluginHostTest, AnEndedHostFailsItsJobAsCanceledAndTheNextOneRuns) {
    ASSERT_TRUE(host.Extract(good, out / "warm.txt").Succeeded());
    // From another thread, as cancel-all does while the worker waits in a hanging plug-in.
    std::thread canceler([this] {
        while (host.RunningMs() < 200)
            ::Sleep(10);
        host.Terminate();
    });
    const TExtractOutcome hung = host.Extract(TestData("stuck.hang\\a.txt"), out / "hung.txt");
    canceler.join();
    EXPECT_EQ(hung.Failure.Kind, TFailureKind::kCanceled);
    EXPECT_TRUE(host.Extract(good, out / "next.txt").Succeeded());
}

// Messages whose lengths run past their data, or that stop short, are refused whole.
TEST(HostMessagesTest, RefuseMalformedPayloads) {
    const std::vector<char> request = EncodeExtract({"D:\\a.zip\\b.txt", "C:\\out\\b.txt"});
    ASSERT_TRUE(DecodeExtract(request).has_value());
    EXPECT_EQ(DecodeExtract(request)->Destination, "C:\\out\\b.txt");
    for (size_t cut = 0; cut < request.size(); ++cut)
        EXPECT_FALSE(DecodeExtract({request.begin(), request.begin() + cut}).has_value()) << cut;
    std::vector<char> longer = request;
    longer.push_back('x');
    EXPECT_FALSE(DecodeExtract(longer).has_value()) << "trailing bytes";
    std::vector<char> pastEnd = request;
    pastEnd[0] = '\x7F';  // the source's length now runs past the data
    EXPECT_FALSE(DecodeExtract(pastEnd).has_value());
    std::vector<char> zero = request;
    zero[5] = '\0';
    EXPECT_FALSE(DecodeExtract(zero).has_value()) << "a zero byte inside a path";

    TExtractOutcome outcome;
    outcome.Failure.Kind = TFailureKind::kPluginCrashed;
    outcome.Failure.Plugin = "表.spi";
    std::vector<char> reply = EncodeOutcome(outcome);
    ASSERT_TRUE(DecodeOutcome(reply).has_value());
    EXPECT_EQ(DecodeOutcome(reply)->Failure.Plugin, "表.spi");
    reply[0] = '\x7F';  // no such kind
    EXPECT_FALSE(DecodeOutcome(reply).has_value());
    EXPECT_FALSE(DecodeStart({'\xFF', '\xFF', '\xFF', '\x7F'}).has_value()) << "a count past any data";
}

// A reply cut short by a dying host, or longer than any reply may be, is no reply.
TEST(HostMessagesTest, RefuseTruncatedAndOverlongMessages) {
    for (const uint32_t announced : {100u, kMaxPayload + 1}) {
        SCOPED_TRACE(announced);
        HANDLE read = nullptr;
        HANDLE write = nullptr;
        ASSERT_TRUE(::CreatePipe(&read, &write, nullptr, 0));
        UniqueHandle reading(read), writing(write);
        std::vector<char> message = {static_cast<char>(TMessageKind::kOutcome), 0, 0, 0};
        for (int shift = 0; shift < 32; shift += 8)
            message.push_back(static_cast<char>(announced >> shift));
        message.resize(message.size() + 10, 'x');
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(writing.Get(), message.data(), static_cast<DWORD>(message.size()), &written, nullptr));
        writing.Reset();
        std::vector<char> payload;
        EXPECT_FALSE(TMessageReader(reading.Get()).Read(TMessageKind::kOutcome, payload));
    }
}

// A host whose request pipe brings garbage ends; the resident side only sees its pipe break.
TEST(HostMessagesTest, AHostFedGarbageEndsAlone) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE handles[4] = {};
    ASSERT_TRUE(::CreatePipe(&handles[0], &handles[1], &inherit, 0));
    ASSERT_TRUE(::CreatePipe(&handles[2], &handles[3], &inherit, 0));
    UniqueHandle requestRead(handles[0]), requestWrite(handles[1]), replyRead(handles[2]), replyWrite(handles[3]);
    UniqueHandle status(::CreateFileMappingA(INVALID_HANDLE_VALUE, &inherit, PAGE_READWRITE, 0, 4096, nullptr));
    HANDLE self = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &self,
                                  SYNCHRONIZE, TRUE, 0));
    UniqueHandle parent(self);
    const auto number = [](const UniqueHandle& h) { return std::to_string(reinterpret_cast<uintptr_t>(h.Get())); };
    const std::string path = ProgramFolder() + kHostFileName;
    std::string commandLine = "\"" + path + "\" " + number(requestRead) + " " + number(replyWrite) + " " +
                              number(status) + " " + number(parent);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(::CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                 nullptr, &startup, &info));
    UniqueHandle process(info.hProcess), thread(info.hThread);
    requestRead.Reset();
    replyWrite.Reset();
    // A start message whose length is far over the bound.
    const char garbage[] = {1, 0, 0, 0, '\xFF', '\xFF', '\xFF', '\x7F'};
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(requestWrite.Get(), garbage, sizeof garbage, &written, nullptr));
    ASSERT_EQ(::WaitForSingleObject(process.Get(), 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    ::GetExitCodeProcess(process.Get(), &code);
    EXPECT_EQ(code, 2u);
    std::vector<char> reply;
    EXPECT_FALSE(TMessageReader(replyRead.Get()).Read(TMessageKind::kOutcome, reply));
}

}  // namespace
