// A stand-in for the resident program's main window: receives hand-offs as its window procedure
// will, and reads every pending block on WM_USER.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/ModulePath.h"
#include "base/Owned.h"
#include "handoff/BlockReader.h"
#include "handoff/PendingBlocks.h"

class TestWindowClass {
public:
    explicit TestWindowClass(const char* name = "Kelvane");
    ~TestWindowClass();
    TestWindowClass(const TestWindowClass&) = delete;
    TestWindowClass& operator=(const TestWindowClass&) = delete;
    const char* Name() const { return name_; }

private:
    const char* name_;
};

class TestReceiverWindow {
public:
    explicit TestReceiverWindow(const TestWindowClass& windowClass);
    ~TestReceiverWindow();
    TestReceiverWindow(const TestReceiverWindow&) = delete;
    TestReceiverWindow& operator=(const TestReceiverWindow&) = delete;

    HWND Handle() const { return window_; }

    TPendingBlocks Pending;
    int HandOffMessages = 0;
    int BlocksReceived = 0;
    // What each WM_USER read, in order, in the ANSI code page (a Unicode block's names converted
    // exactly); a WM_USER that found no block adds nothing.
    std::vector<THandOffRequest> Accepted;
    // The Unicode blocks among them, as they came.
    std::vector<TWideHandOffRequest> AcceptedWide;
    int EmptyWmUser = 0;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
};

// Runs programs at once and, while they run, handles the messages other threads send to this one;
// posted messages stay queued. The exit codes, -1 for a program that did not end in time.
std::vector<int> RunServingSentMessages(const std::vector<std::string>& commandLines, DWORD timeoutMs = 30000);
// The same with command lines that may hold any name.
std::vector<int> RunServingSentMessages(const std::vector<std::wstring>& commandLines, DWORD timeoutMs = 30000);
// Dispatches every posted message that is queued for this thread.
void DispatchPosted();
// Whether a WM_USER waits in this thread's queue for `window`.
bool WmUserQueued(HWND window);
