#include "tests/handoff/ReceiverWindow.h"

#include <gtest/gtest.h>

#include "base/WideText.h"
#include "handoff/Channel.h"
#include "handoff/Receiver.h"

TestWindowClass::TestWindowClass(const char* name) : name_(name) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = name;
    EXPECT_NE(::RegisterClassA(&windowClass), 0) << name;
}

TestWindowClass::~TestWindowClass() {
    ::UnregisterClassA(name_, ::GetModuleHandleA(nullptr));
}

TestReceiverWindow::TestReceiverWindow(const TestWindowClass& windowClass) {
    window_ = ::CreateWindowExA(0, windowClass.Name(), "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                ::GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(window_, nullptr);
    ::SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure));
}

TestReceiverWindow::~TestReceiverWindow() {
    // Nothing of this window may reach a later test.
    MSG message;
    while (::PeekMessageA(&message, window_, 0, 0, PM_REMOVE)) {
    }
    ::DestroyWindow(window_);
}

LRESULT CALLBACK TestReceiverWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    static const UINT handOffMessage = RegisterHandOffMessage();
    auto* self = reinterpret_cast<TestReceiverWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == handOffMessage) {
        ++self->HandOffMessages;
        if (ReceiveHandOff(window, wParam, self->Pending))
            ++self->BlocksReceived;
        return 0;
    }
    if (message == WM_USER) {
        const std::optional<std::vector<char>> block = self->Pending.TakeOldest();
        if (!block) {
            ++self->EmptyWmUser;
            return 0;
        }
        if (std::optional<TWideHandOffRequest> wide = ReadWideHandOffBlock(*block)) {
            const auto exact = [](std::wstring_view text) {
                std::string converted;
                return ExactAnsi(text, converted) ? converted : std::string("?");
            };
            THandOffRequest ansi{exact(wide->Folder), {}};
            for (const std::wstring& path : wide->Paths)
                ansi.Paths.push_back(exact(path));
            self->Accepted.push_back(std::move(ansi));
            self->AcceptedWide.push_back(std::move(*wide));
            return 0;
        }
        std::optional<THandOffRequest> request = ReadHandOffBlock(*block);
        EXPECT_TRUE(request);
        if (request)
            self->Accepted.push_back(std::move(*request));
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

std::vector<int> RunServingSentMessages(const std::vector<std::string>& commandLines, DWORD timeoutMs) {
    std::vector<std::wstring> wide;
    for (const std::string& commandLine : commandLines)
        wide.push_back(WideFromAnsi(commandLine));
    return RunServingSentMessages(wide, timeoutMs);
}

std::vector<int> RunServingSentMessages(const std::vector<std::wstring>& commandLines, DWORD timeoutMs) {
    std::vector<UniqueHandle> processes;
    for (const std::wstring& commandLine : commandLines) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION created = {};
        std::wstring line = commandLine;
        EXPECT_TRUE(
            ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &created))
            << ShownAnsi(commandLine);
        processes.emplace_back(created.hProcess);
        UniqueHandle thread(created.hThread);
    }
    std::vector<HANDLE> running;
    for (const UniqueHandle& process : processes)
        if (process)
            running.push_back(process.Get());
    const DWORD deadline = ::GetTickCount() + timeoutMs;
    while (!running.empty()) {
        const DWORD now = ::GetTickCount();
        const DWORD left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
        const auto count = static_cast<DWORD>(running.size());
        const DWORD woke = ::MsgWaitForMultipleObjects(count, running.data(), FALSE, left, QS_SENDMESSAGE);
        if (woke < WAIT_OBJECT_0 + count) {
            running.erase(running.begin() + (woke - WAIT_OBJECT_0));
        } else if (woke == WAIT_OBJECT_0 + count) {
            MSG message;
            ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else {
            ADD_FAILURE() << "a program did not end in time";
            break;
        }
    }
    std::vector<int> exitCodes;
    for (const UniqueHandle& process : processes) {
        DWORD exitCode = 0;
        if (process && ::WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0) {
            ::GetExitCodeProcess(process.Get(), &exitCode);
            exitCodes.push_back(static_cast<int>(exitCode));
        } else {
            if (process)
                ::TerminateProcess(process.Get(), 1);
            exitCodes.push_back(-1);
        }
    }
    return exitCodes;
}

void DispatchPosted() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageA(&message);
}

bool WmUserQueued(HWND window) {
    MSG message;
    return ::PeekMessageA(&message, window, WM_USER, WM_USER, PM_NOREMOVE) != 0;
}
