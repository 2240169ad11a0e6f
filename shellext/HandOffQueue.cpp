#include "shellext/HandOffQueue.h"

#include <windows.h>

#include <deque>
#include <memory>
#include <utility>

#include "base/Owned.h"
#include "handoff/Sender.h"

namespace {

// Short enough to go unnoticed in a shell whose hand-off waits behind a busy window; long enough for
// a window that answers at once to have taken the block by the time the command returns, so that a
// shell process that ends right after it still delivers.
constexpr DWORD kGraceMs = 250;

struct TQueuedHandOff {
    std::wstring Folder;
    std::vector<std::wstring> Paths;
    // Set once the hand-off has been taken or given up.
    std::shared_ptr<const UniqueHandle> Done;
};

SRWLOCK queueLock = SRWLOCK_INIT;
// The front is the one being sent. The sender thread runs exactly while the queue is not empty.
std::deque<TQueuedHandOff> queue;

// Sends from the front until the queue is empty. Each hand-off stays queued until its send has
// returned, so that the module counts as busy.
void SendAll() noexcept {
    for (bool last = false; !last;) {
        TQueuedHandOff sending;
        {
            const ExclusiveLock lock(queueLock);
            sending = std::move(queue.front());
        }
        // Another process's sender may hold the turn while it waits for the window's answer.
        SendHandOff(sending.Folder, sending.Paths, kPatientTurnWaitMs);
        {
            const ExclusiveLock lock(queueLock);
            queue.pop_front();
            last = queue.empty();
        }
        if (sending.Done && *sending.Done)
            ::SetEvent(sending.Done->Get());
    }
}

DWORD WINAPI SenderThread(void* module) {
    SendAll();
    // The thread's own reference kept this code loaded, whatever the shell unloaded meanwhile; it
    // goes only once no instruction of the module is left to run.
    ::FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
    return 0;
}

bool StartSender() noexcept {
    HMODULE self = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&queueLock), &self);
    UniqueModule module(self);
    if (!module)
        return false;
    const UniqueHandle thread(::CreateThread(nullptr, 0, SenderThread, module.Get(), 0, nullptr));
    if (!thread)
        return false;
    module.Release();
    return true;
}

// Handles the messages that other threads send to this one while it waits, as a thread waiting in
// SendMessage does: the receiving window may even belong to this thread.
void WaitServingSentMessages(HANDLE event, DWORD timeoutMs) noexcept {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (ULONGLONG now = ::GetTickCount64(); now < deadline; now = ::GetTickCount64()) {
        const DWORD woke =
            ::MsgWaitForMultipleObjects(1, &event, FALSE, static_cast<DWORD>(deadline - now), QS_SENDMESSAGE);
        if (woke != WAIT_OBJECT_0 + 1)
            return;
        MSG message;
        ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace

void QueueHandOff(std::wstring folder, std::vector<std::wstring> paths) {
    const auto done = std::make_shared<const UniqueHandle>(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    bool first = false;
    {
        const ExclusiveLock lock(queueLock);
        queue.push_back({std::move(folder), std::move(paths), done});
        first = queue.size() == 1;
        if (first && !StartSender()) {
            queue.pop_back();
            return;
        }
    }
    // Behind an earlier one the window has not answered yet: this one cannot be taken any sooner.
    if (first && *done)
        WaitServingSentMessages(done->Get(), kGraceMs);
}

bool HandOffsPending() noexcept {
    const ExclusiveLock lock(queueLock);
    return !queue.empty();
}
