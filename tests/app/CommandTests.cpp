#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <functional>
#include <thread>

#include "app/AboutBox.h"
#include "app/AppState.h"
#include "app/Commands.h"
#include "app/FolderBrowser.h"
#include "app/Identifiers.h"
#include "app/MainWindow.h"
#include "app/Resident.h"
#include "app/Settings.h"
#include "app/StartAtLogon.h"
#include "base/ModulePath.h"
#include "base/Registry.h"
#include "base/WideText.h"
#include "handoff/BlockWriter.h"
#include "tests/app/WindowTestEnv.h"

namespace {

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override { StartCleanWindowTest(); }
    void TearDown() override { EndWindowTest(); }

    HWND Start(uint8_t mode, bool visible) {
        const int m = mode, v = visible ? 1 : 0;
        ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "Mode", REG_DWORD, &m, sizeof m);
        ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "Visible", REG_DWORD, &v, sizeof v);
        HWND window = CreateTestMainWindow();
        App().Accelerators = ::LoadAcceleratorsA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCELERATORS));
        return window;
    }
    static void AddJob(const char* source) {
        App().Queue->Append(source, "C:\\out\\x", 0);
        ::SendMessageA(App().JobList, LB_ADDSTRING, 0, 0);
    }
    // A key as the message loop sees it: offered to the accelerator table, then dispatched.
    static void PressKey(HWND window, UINT key, bool alt = false) {
        // The accelerator table looks at the Alt key's state, not only at the message.
        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        keys[VK_MENU] = alt ? 0x80 : 0;
        ::SetKeyboardState(keys);
        MSG msg = {window, static_cast<UINT>(alt ? WM_SYSKEYDOWN : WM_KEYDOWN), key, alt ? (1 << 29) : 0, 0, {}};
        if (!::TranslateAcceleratorA(window, App().Accelerators, &msg))
            ::DispatchMessageA(&msg);
        keys[VK_MENU] = 0;
        ::SetKeyboardState(keys);
    }
};

TEST_F(CommandTest, AcceleratorsOfGrayedCommandsDoNothing) {
    HWND window = Start(kContinuous, true);
    AddJob("D:\\a.zip\\a.txt");
    ::SendMessageA(App().JobList, LB_SETCURSEL, 0, 0);
    PressKey(window, VK_DELETE);  // delete is grayed in continuous mode
    EXPECT_EQ(App().Queue->Count(), 1);
    PressKey(window, VK_ESCAPE);  // pause
    EXPECT_EQ(App().Worker.RunMode, kPaused);
    PressKey(window, VK_ESCAPE);  // pause is grayed now
    EXPECT_EQ(App().Worker.RunMode, kPaused);
    PressKey(window, VK_DELETE);
    EXPECT_EQ(App().Queue->Count(), 0);
    AddJob("D:\\b.zip\\b.txt");
    PressKey(window, VK_DELETE, true);  // Alt+Del: cancel all
    EXPECT_EQ(App().Queue->Count(), 0);
    PressKey(window, VK_F9);
    EXPECT_EQ(App().Worker.RunMode, kContinuous);
}

TEST_F(CommandTest, ControlNotificationsAndUnknownIdsAreNotCommands) {
    HWND window = Start(kPaused, true);
    AddJob("D:\\a.zip\\a.txt");
    ::SendMessageA(App().JobList, LB_SETCURSEL, 0, 0);
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_DELETE, LBN_DBLCLK), 0);
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(1999, 0), 0);
    EXPECT_EQ(App().Queue->Count(), 1);
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_CLOSE, 0), 0);
    EXPECT_FALSE(::IsWindowVisible(window));
}

TEST_F(CommandTest, TrayIconPopsUpTheMenusAndShowsTheWindow) {
    HWND window = Start(kPaused, false);
    auto dismiss = [window](HWND) { ::PostMessageA(window, WM_CANCELMODE, 0, 0); };
    for (LPARAM button : {WM_LBUTTONDOWN, WM_RBUTTONDOWN}) {
        EXPECT_TRUE(WhileShown("#32768", nullptr, dismiss, [&] {
            ::SendMessageA(window, WM_TRAYNOTIFY, 0, button);
        })) << button;
    }
    // The pop-ups are the window's own submenus, with its states: hidden, extract is grayed.
    HMENU extractMenu = ::GetSubMenu(::GetMenu(window), 1);
    EXPECT_TRUE(::GetMenuState(extractMenu, IDM_EXTRACT, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_FALSE(::GetMenuState(::GetSubMenu(::GetMenu(window), 0), IDM_EXIT, MF_BYCOMMAND) & MF_GRAYED);
    ::SendMessageA(window, WM_TRAYNOTIFY, 1, WM_LBUTTONDBLCLK);  // another icon: ignored
    EXPECT_FALSE(::IsWindowVisible(window));
    ::SendMessageA(window, WM_TRAYNOTIFY, 0, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_TRUE(MenuEnabled(window, IDM_EXTRACT));
}

// The program writes the Run value only when the user asks, for its own copy; the check mark says
// whether Windows starts this copy, also when the value was changed outside (another copy's).
TEST_F(CommandTest, StartAtLogonIsTheUsersToTurnOnAndOffForThisCopy) {
    DeleteValue(HKEY_CURRENT_USER, kRunKey, kRunValue);
    HWND window = Start(kPaused, true);
    HMENU fileMenu = ::GetSubMenu(::GetMenu(window), 0);
    const auto checked = [&] {
        ::SendMessageW(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(fileMenu), 0);
        return (::GetMenuState(fileMenu, IDM_STARTATLOGON, MF_BYCOMMAND) & MF_CHECKED) != 0;
    };
    const auto runValue = [] {
        UniqueKey key = OpenKey(HKEY_CURRENT_USER, kRunKey, KEY_QUERY_VALUE);
        return QueryString(key.Get(), kRunValue, 1024).value_or("(none)");
    };
    EXPECT_FALSE(checked());
    EXPECT_EQ(runValue(), "(none)");
    ::SendMessageW(window, WM_COMMAND, IDM_STARTATLOGON, 0);
    EXPECT_EQ(runValue(), '"' + ModulePath() + '"');
    EXPECT_TRUE(checked());
    ::SendMessageW(window, WM_COMMAND, IDM_STARTATLOGON, 0);
    EXPECT_EQ(runValue(), "(none)");
    EXPECT_FALSE(checked());

    ASSERT_TRUE(WriteString(HKEY_CURRENT_USER, kRunKey, kRunValue, "\"C:\\Other\\Kelvane.exe\""));
    EXPECT_FALSE(checked());
    ::SendMessageW(window, WM_COMMAND, IDM_STARTATLOGON, 0);
    EXPECT_EQ(runValue(), '"' + ModulePath() + '"');
    DeleteValue(HKEY_CURRENT_USER, kRunKey, kRunValue);
}

TEST_F(CommandTest, AboutBoxClosesWithOkAndCancel) {
    HWND window = Start(kPaused, true);
    for (WPARAM button : {IDOK, IDCANCEL}) {
        EXPECT_TRUE(WhileShown("#32770", "Kelvane について",
                               [&](HWND box) { ::PostMessageA(box, WM_COMMAND, button, 0); },
                               [&] { ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 0), 0); }));
    }
}

TEST_F(CommandTest, ExitAsksOnceWhenJobsWaitAndNoKeepsEverything) {
    HWND window = Start(kPaused, true);
    AddJob("D:\\a.zip\\a.txt");
    // A hand-off received before the exit is decided, whose WM_USER comes only after.
    const std::vector<std::string> late = {"D:\\late.zip\\x.txt"};
    std::vector<char> block(*HandOffBlockSize("C:\\late", late));
    ASSERT_TRUE(WriteHandOffBlock(block.data(), block.size(), "C:\\late", late));
    App().Pending.Push(std::move(block));
    App().DestinationFolder = "C:\\kept";
    TMessage message = {WM_COMMAND, IDM_EXIT, 0, 0};
    auto answer = [](WPARAM button) { return [button](HWND box) { ::PostMessageA(box, WM_COMMAND, button, 0); }; };
    EXPECT_TRUE(WhileShown("#32770", "Kelvane", answer(IDNO), [&] { ExitResident(window, message); }));
    EXPECT_EQ(message.Result, -1);
    EXPECT_EQ(App().Queue->Count(), 1);
    EXPECT_NE(App().Host, nullptr);
    MSG quit;
    EXPECT_FALSE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));

    message.Result = 0;
    EXPECT_TRUE(WhileShown("#32770", "Kelvane", answer(IDYES), [&] { ExitResident(window, message); }));
    EXPECT_EQ(message.Result, 0);
    EXPECT_EQ(App().Host, nullptr);
    EXPECT_TRUE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    // What comes after the exit is decided, before the loop ends, is refused: nothing is taken,
    // nothing runs, nothing changes, and a dropped list is freed.
    HGLOBAL drop = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + 16);
    static_cast<DROPFILES*>(::GlobalLock(drop))->pFiles = sizeof(DROPFILES);
    std::memcpy(static_cast<char*>(::GlobalLock(drop)) + sizeof(DROPFILES), "D:\\b.zip\\b", 11);
    ::GlobalUnlock(drop);
    ::GlobalUnlock(drop);
    ::SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    EXPECT_EQ(::GlobalFlags(drop), GMEM_INVALID_HANDLE) << "the drop list was not freed";
    for (const UINT command : {IDM_CANCELALL, IDM_DELETE, IDM_EXTRACT, IDM_CONTINUOUS, IDM_EXIT})
        ::SendMessageA(window, WM_COMMAND, command, 0);
    ::SendMessageA(window, WM_USER, 0, 0);
    ::SendMessageA(window, WM_RUNNEXT, 0, 0);
    EXPECT_EQ(App().Queue->Count(), 1);
    EXPECT_FALSE(App().Worker.Busy());
    EXPECT_EQ(App().Worker.RunMode, kPaused);
    EXPECT_EQ(RegReadStr(kSettingsKey, "DestDir", MAX_PATH, ""), "C:\\kept");
    EXPECT_EQ(TExtractQueue(std::make_unique<TQueueJournal>(App().QueueFile)).Count(), 0);
    EXPECT_EQ(RegReadInt(kSettingsKey, "Mode", -1), kPaused);
    EXPECT_EQ(RegReadInt(kSettingsKey, "Visible", -1), 1);
}

// Setup quits the program while the user has the exit question open: setup's quit keeps the queue,
// whatever the user answers after.
TEST_F(CommandTest, SetupsQuitDuringTheExitQuestionKeepsTheQueue) {
    HWND window = Start(kPaused, true);
    AddJob("D:\\a.zip\\a.txt");
    TMessage message = {WM_COMMAND, IDM_EXIT, 0, 0};
    EXPECT_TRUE(WhileShown("#32770", "Kelvane",
                           [&](HWND box) {
                               ::PostMessageA(window, WM_COMMAND, IDM_QUITKEEPINGJOBS, 0);
                               ::PostMessageA(box, WM_COMMAND, IDYES, 0);
                           },
                           [&] { ExitResident(window, message); }));
    EXPECT_TRUE(App().Quitting);
    App().Queue.reset();
    EXPECT_EQ(TExtractQueue(std::make_unique<TQueueJournal>(App().QueueFile)).Count(), 1);
}

// A start that takes the instance the moment the old program lets it go finds the queue file closed.
TEST_F(CommandTest, TheQueueFileIsClosedBeforeTheInstanceIsLetGo) {
    HWND window = Start(kPaused, false);
    AddJob("D:\\a.zip\\a.txt");
    QuitKeepingJobs(window);
    App().InstanceMutex.Reset(::CreateMutexA(nullptr, TRUE, nullptr));
    bool fileFree = false;
    std::thread start([&] {
        if (::WaitForSingleObject(App().InstanceMutex.Get(), 10000) != WAIT_OBJECT_0)
            return;
        fileFree = static_cast<bool>(UniqueHandle(::CreateFileW(WideFromUtf8(App().QueueFile).c_str(), GENERIC_READ,
                                                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)));
        ::ReleaseMutex(App().InstanceMutex.Get());
    });
    LetInstanceGo();
    start.join();
    App().InstanceMutex.Reset();
    EXPECT_TRUE(fileFree);
    EXPECT_EQ(App().Queue->Count(), 1);
    EXPECT_EQ(TExtractQueue(std::make_unique<TQueueJournal>(App().QueueFile)).Count(), 1);
}

TEST_F(CommandTest, ExitWithAnEmptyQueueAsksNothing) {
    HWND window = Start(kContinuous, false);
    TMessage message = {WM_COMMAND, IDM_EXIT, 0, 0};
    ExitResident(window, message);
    EXPECT_TRUE(App().Quitting);
    MSG quit;
    EXPECT_TRUE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(RegReadInt(kSettingsKey, "Visible", -1), 0);
}

TEST_F(CommandTest, DestroyingTheWindowExitsWithoutAsking) {
    HWND window = Start(kPaused, true);
    AddJob("D:\\a.zip\\a.txt");
    bool asked = false;
    WhileShown(
        "#32770", "Kelvane",
        [&](HWND box) {
            asked = true;
            ::PostMessageA(box, WM_COMMAND, IDNO, 0);
        },
        [&] { ::DestroyWindow(window); });
    App().MainWindow = nullptr;
    EXPECT_FALSE(asked);
    EXPECT_TRUE(App().Quitting);
    EXPECT_EQ(RegReadInt(kSettingsKey, "Mode", -1), kPaused);
    MSG quit;
    EXPECT_TRUE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(CommandTest, EndOfSessionSavesTheSettingsAndUnregistersTheHandler) {
    HWND window = Start(kPaused, false);
    // The 64-bit shell's class entries, for KelvaneSX64.dll beside the program, go as well.
    const char* const classKey64 = "CLSID\\{5B0E7C3A-9D41-4F62-8A17-C3E2D6F90B84}";
    ASSERT_TRUE(CallServerRegistration(true));
    ASSERT_TRUE(OpenKey(HKEY_CLASSES_ROOT, "Folder\\shellex\\DragDropHandlers\\Kelvane", KEY_QUERY_VALUE));
    ASSERT_TRUE(OpenKey(HKEY_CLASSES_ROOT, classKey64, KEY_QUERY_VALUE | KEY_WOW64_64KEY));
    App().DestinationFolder = "C:\\session";
    ::SendMessageA(window, WM_ENDSESSION, FALSE, 0);  // the session goes on: nothing happens
    EXPECT_EQ(RegReadStr(kSettingsKey, "DestDir", MAX_PATH, ""), "");
    ::SendMessageA(window, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(RegReadStr(kSettingsKey, "DestDir", MAX_PATH, ""), "C:\\session");
    EXPECT_FALSE(OpenKey(HKEY_CLASSES_ROOT, "Folder\\shellex\\DragDropHandlers\\Kelvane", KEY_QUERY_VALUE));
    EXPECT_FALSE(OpenKey(HKEY_CLASSES_ROOT, classKey64, KEY_QUERY_VALUE | KEY_WOW64_64KEY));
}

TEST_F(CommandTest, ARecreatedTaskbarGetsTheTrayIconBack) {
    HWND window = Start(kContinuous, false);
    App().TaskbarCreatedMessage = ::RegisterWindowMessageA("TaskbarCreated");
    // The shell restarted: its icons are gone, so changing ours fails until it is added again.
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &App().Tray));
    EXPECT_FALSE(::Shell_NotifyIconW(NIM_MODIFY, &App().Tray));
    ::SendMessageA(window, App().TaskbarCreatedMessage, 0, 0);
    EXPECT_TRUE(::Shell_NotifyIconW(NIM_MODIFY, &App().Tray));
    App().TaskbarCreatedMessage = 0;
}

// A stand-in for the browser dialog: records what the callback sends it.
struct BrowserProbe {
    static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == BFFM_SETSELECTIONW) {
            Selection = reinterpret_cast<const wchar_t*>(lParam);
            SelectionIsPath = wParam != 0;
        } else if (msg == BFFM_SETSTATUSTEXTW) {
            Status = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"(null)";
        }
        return ::DefWindowProcW(window, msg, wParam, lParam);
    }
    static inline std::wstring Selection, Status;
    static inline bool SelectionIsPath = false;
};

TEST_F(CommandTest, FolderBrowserOpensOnTheFolderAndShowsTheSelection) {
    WNDCLASSW probeClass = {};
    probeClass.lpfnWndProc = BrowserProbe::Proc;
    probeClass.lpszClassName = L"KelvaneBrowserProbe";
    ::RegisterClassW(&probeClass);
    HWND dialog = ::CreateWindowExW(0, L"KelvaneBrowserProbe", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(dialog, nullptr);
    const std::wstring current = L"C:\\Jos\u00e9\\\u8868";
    BrowseCallback(dialog, BFFM_INITIALIZED, 0, reinterpret_cast<LPARAM>(current.c_str()));
    EXPECT_EQ(BrowserProbe::Selection, current);
    EXPECT_TRUE(BrowserProbe::SelectionIsPath);

    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    LPITEMIDLIST item = nullptr;
    ASSERT_EQ(::SHParseDisplayName(windows, nullptr, &item, 0, nullptr), S_OK);
    BrowseCallback(dialog, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(item), 0);
    ::CoTaskMemFree(item);
    EXPECT_EQ(BrowserProbe::Status, windows);
    BrowseCallback(dialog, BFFM_SELCHANGED, 0, 0);
    EXPECT_EQ(BrowserProbe::Status, L"(null)");
    ::DestroyWindow(dialog);
}

}  // namespace
