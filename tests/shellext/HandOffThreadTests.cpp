// The drop handler sends from a thread of its own: the shell's thread never waits for the resident
// program's window, and the module stays loaded while a hand-off is on its way.
#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "shellext/ServerFile.h"
#include "tests/engine/TestEnv.h"
#include "tests/handoff/ReceiverWindow.h"
#include "tests/shellext/ShellTestEnv.h"

namespace {

// Waits at most 10 s for done(), handling what reaches this thread meanwhile; false on timeout.
template <typename Condition>
bool PumpUntil(Condition done) {
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    while (!done()) {
        if (::GetTickCount64() >= deadline)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        DispatchPosted();
    }
    return true;
}

// The resident program's window while its thread is busy (extracting the selected job): a receiver
// on a thread of its own that answers nothing until released.
class BlockedReceiver {
public:
    BlockedReceiver(const TestWindowClass& windowClass, size_t expected)
        : thread_([this, &windowClass, expected] { Run(windowClass, expected); }) {
        EXPECT_EQ(::WaitForSingleObject(ready_.Get(), 10000), WAIT_OBJECT_0);
    }
    ~BlockedReceiver() { Accepted(); }
    BlockedReceiver(const BlockedReceiver&) = delete;
    BlockedReceiver& operator=(const BlockedReceiver&) = delete;

    // Lets the window answer, and gives what it accepted once that is all that was expected (10 s at most).
    const std::vector<THandOffRequest>& Accepted() {
        ::SetEvent(release_.Get());
        if (thread_.joinable())
            thread_.join();
        return accepted_;
    }

private:
    void Run(const TestWindowClass& windowClass, size_t expected) {
        TestReceiverWindow window(windowClass);
        ::SetEvent(ready_.Get());
        // No messages are handled while it waits here.
        ::WaitForSingleObject(release_.Get(), 10000);
        PumpUntil([&] { return window.Accepted.size() >= expected; });
        accepted_ = window.Accepted;
    }

    UniqueHandle ready_{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle release_{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::vector<THandOffRequest> accepted_;
    std::thread thread_;
};

class HandOffThreadTest : public ::testing::Test {
protected:
    // The right-drag of `paths` onto the scratch folder with "ここに解凍(&E)" chosen; the handler is
    // released before this returns, as the shell releases it.
    HRESULT ExtractHere(const std::vector<std::string>& paths) {
        ComPtr<IShellExtInit> init = dll->Create<IShellExtInit>(IID_IShellExtInit);
        ComPtr<IContextMenu> menu;
        if (!init || FAILED(init->QueryInterface(IID_IContextMenu, menu.PutVoid())) ||
            init->Initialize(target.Get(), TestDataObject::WithPaths(paths).Get(), nullptr) != S_OK)
            return E_UNEXPECTED;
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof info;
        return menu->InvokeCommand(&info);
    }

    // Milliseconds that ExtractHere took.
    ULONGLONG TimedExtractHere(const std::vector<std::string>& paths) {
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(ExtractHere(paths), S_OK);
        return ::GetTickCount64() - start;
    }

    // A member of the archive pack.lzh in the scratch folder, told apart by its number.
    std::string Member(int number) const { return scratch / "pack.lzh\\" + std::to_string(number) + ".txt"; }

    ComApartment apartment;
    std::optional<ServerDll> dll{std::in_place};
    ScratchFolder scratch;
    UniqueIdList target{::ILCreateFromPathA(scratch.Path().c_str())};
    TestWindowClass windowClass;
    const std::vector<std::string> archivePaths = {scratch / "pack.lzh\\docs\\inner.zip\\readme.txt",
                                                   scratch / "pack.lzh\\表.txt"};
};

}  // namespace

// Broke: the shell's thread sent the hand-off itself and froze while the window did not answer.
TEST_F(HandOffThreadTest, InvokeReturnsAtOnceWhileTheProgramsWindowIsBlocked) {
    BlockedReceiver receiver(windowClass, 1);
    EXPECT_LT(TimedExtractHere(archivePaths), 1000u);
    // No handler is left; the hand-off on its way holds the module.
    EXPECT_EQ(dll->CanUnloadNow(), S_FALSE);

    const std::vector<THandOffRequest>& accepted = receiver.Accepted();
    ASSERT_EQ(accepted.size(), 1u);
    EXPECT_EQ(accepted[0].Folder, scratch.Path());
    EXPECT_EQ(accepted[0].Paths, archivePaths);
    EXPECT_TRUE(PumpUntil([&] { return dll->CanUnloadNow() == S_OK; }));
}

TEST_F(HandOffThreadTest, HandOffsOfOneProcessArriveInTheOrderMade) {
    constexpr int kCount = 4;
    BlockedReceiver receiver(windowClass, kCount);
    for (int i = 0; i < kCount; ++i)
        EXPECT_LT(TimedExtractHere({Member(i)}), 1000u) << i;

    const std::vector<THandOffRequest>& accepted = receiver.Accepted();
    ASSERT_EQ(accepted.size(), static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i)
        EXPECT_EQ(accepted[i].Paths, std::vector<std::string>{Member(i)});
    EXPECT_TRUE(PumpUntil([&] { return dll->CanUnloadNow() == S_OK; }));
}

// A shell may free the module as soon as it has no handler left; the sender's code must stay.
TEST_F(HandOffThreadTest, SenderKeepsTheModuleLoadedUntilItHasSent) {
    BlockedReceiver receiver(windowClass, 1);
    EXPECT_LT(TimedExtractHere(archivePaths), 1000u);
    dll.reset();
    EXPECT_NE(::GetModuleHandleA(kServerFileName), nullptr);

    ASSERT_EQ(receiver.Accepted().size(), 1u);
    EXPECT_EQ(receiver.Accepted()[0].Paths, archivePaths);
    EXPECT_TRUE(PumpUntil([] { return ::GetModuleHandleA(kServerFileName) == nullptr; }));
}
