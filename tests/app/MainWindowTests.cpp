#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <fstream>

#include "app/AppState.h"
#include "app/Destination.h"
#include "app/Identifiers.h"
#include "app/JobList.h"
#include "app/MainWindow.h"
#include "app/Settings.h"
#include "app/Toolbar.h"
#include "app/TrayIcon.h"
#include "base/ModulePath.h"
#include "base/Owned.h"
#include "base/WideText.h"
#include "tests/app/WindowTestEnv.h"
#include "tests/engine/TestEnv.h"
#include "jobs/TemporaryRecord.h"
#include "tests/jobs/HeldRecordLock.h"

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { StartCleanWindowTest(); }
    void TearDown() override { EndWindowTest(); }

    static void PutInt(const char* name, int value) {
        ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, name, REG_DWORD, &value, sizeof value);
    }
    static void AddJob(const std::string& source, const std::string& destination) {
        App().Queue->Append(source, destination, 0);
        ::SendMessageA(App().JobList, LB_ADDSTRING, 0, 0);
    }
    static RECT ListRectInClient(HWND window) {
        RECT rect = {};
        ::GetWindowRect(App().JobList, &rect);
        ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }
};

TEST_F(MainWindowTest, IsCreatedFromTheSettings) {
    PutInt("Left", 40);
    PutInt("Top", 50);
    PutInt("Width", 500);
    PutInt("Height", 300);
    PutInt("Visible", 1);
    PutInt("Mode", 1);
    ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "DestDir", REG_SZ, "C:\\表\\out", 11);
    HWND window = CreateTestMainWindow();
    RECT rect = {};
    ::GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 40);
    EXPECT_EQ(rect.top, 50);
    EXPECT_EQ(rect.right - rect.left, 500);
    EXPECT_EQ(rect.bottom - rect.top, 300);
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_EQ(WindowText(window), "Kelvane - C:\\表\\out");
    EXPECT_EQ(App().Worker.RunMode, kPaused);
    // No minimize or maximize box: a sizable frame only.
    EXPECT_EQ(::GetWindowLongA(window, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
}

// The state and the position come back as saved, and are saved again unchanged. (Wine places windows
// in workspace coordinates as in screen ones, so a taskbar at the top, which made the window creep on
// Windows, changes nothing here.) Hidden and shown again, a maximized window stays maximized. A
// position off every screen lands on the primary monitor.
TEST_F(MainWindowTest, ComesBackWhereItWasInTheStateItWasIn) {
    RECT screen = {};
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0));
    const auto savedAt = [](int left, int top, int state) {
        PutInt("Left", left);
        PutInt("Top", top);
        PutInt("Width", 500);
        PutInt("Height", 300);
        PutInt("Visible", 1);
        PutInt("WindowState", state);
    };
    for (const int state : {SW_SHOWNORMAL, SW_SHOWMAXIMIZED}) {
        savedAt(100, 120, state);
        HWND window = CreateTestMainWindow();
        EXPECT_EQ(::IsZoomed(window) != FALSE, state == SW_SHOWMAXIMIZED);
        // The job list fills the window it is restored into, not a default one: its last rows and its
        // scroll bar are there to reach.
        RECT client = {};
        ::GetClientRect(window, &client);
        const RECT list = ListRectInClient(window);
        EXPECT_EQ(list.right, client.right);
        EXPECT_EQ(list.bottom, client.bottom);
        HideMainWindow(window);
        ShowMainWindow(window);
        EXPECT_EQ(::IsZoomed(window) != FALSE, state == SW_SHOWMAXIMIZED);
        SaveSettings(window);
        EXPECT_EQ(RegReadInt(kSettingsKey, "Left", 0), 100);
        EXPECT_EQ(RegReadInt(kSettingsKey, "Top", 0), 120);
        EXPECT_EQ(RegReadInt(kSettingsKey, "WindowState", 0), state);
        EndWindowTest();
        StartCleanWindowTest();
    }

    savedAt(30000, -30000, SW_SHOWNORMAL);
    HWND lost = CreateTestMainWindow();
    RECT rect = {};
    ::GetWindowRect(lost, &rect);
    RECT inside = {};
    EXPECT_TRUE(::IntersectRect(&inside, &rect, &screen)) << rect.left << "," << rect.top;
    EXPECT_EQ(rect.right - rect.left, 500);
}

TEST_F(MainWindowTest, StartsHiddenInTheCurrentFolderWithoutSettings) {
    HWND window = CreateTestMainWindow();
    char current[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_EQ(WindowText(window), std::string("Kelvane - ") + current);
    EXPECT_EQ(App().Worker.RunMode, kContinuous);
    EXPECT_NE(App().Toolbar, nullptr);
    EXPECT_NE(App().Queue, nullptr);
    EXPECT_NE(App().Host, nullptr);
}

TEST_F(MainWindowTest, JobListStaysBelowTheToolbarWhenResized) {
    PutInt("Visible", 1);
    HWND window = CreateTestMainWindow();
    for (SIZE size : {SIZE{420, 260}, SIZE{640, 480}, SIZE{300, 150}}) {
        ::SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        RECT client = {};
        ::GetClientRect(window, &client);
        const RECT list = ListRectInClient(window);
        EXPECT_EQ(list.left, 0);
        EXPECT_EQ(list.top, ToolbarHeight(App().Dpi));
        EXPECT_EQ(list.right, client.right);
        EXPECT_EQ(list.bottom, client.bottom);
    }
}

TEST_F(MainWindowTest, CommandStatesFollowVisibilityAndRunMode) {
    HWND window = CreateTestMainWindow();
    struct Case {
        bool visible;
        uint8_t mode;
        bool close, extract, del, continuous, cancelAll, pause;
    };
    const Case cases[] = {
        {true, kContinuous, true, false, false, false, false, true},
        {true, kPaused, true, true, true, true, true, false},
        {false, kContinuous, false, false, false, false, false, true},
        {false, kPaused, false, false, false, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "visible " << c.visible << " mode " << int(c.mode));
        ::ShowWindow(window, c.visible ? SW_SHOWNORMAL : SW_HIDE);
        App().Worker.RunMode = c.mode;
        UpdateCommandStates(window);
        EXPECT_EQ(MenuEnabled(window, IDM_CLOSE), c.close);
        for (auto [command, expected] : {std::pair{IDM_EXTRACT, c.extract}, std::pair{IDM_DELETE, c.del},
                                         std::pair{IDM_CONTINUOUS, c.continuous},
                                         std::pair{IDM_CANCELALL, c.cancelAll}, std::pair{IDM_PAUSE, c.pause}}) {
            EXPECT_EQ(MenuEnabled(window, command), expected) << command;
            EXPECT_EQ(ButtonEnabled(command), expected) << command;
        }
        EXPECT_TRUE(MenuEnabled(window, IDM_OPTIONS));
    }
}

// The window's creation leaves the record of temporaries to the worker: its lock, held by another
// program, or its folders, offline network drives among them, never hold the window up.
TEST_F(MainWindowTest, IsCreatedWhileAnotherProgramHoldsTheRecordOfTemporaries) {
    const THeldRecordLock other(TTemporaryRecord::DefaultFile());
    const ULONGLONG start = ::GetTickCount64();
    CreateTestMainWindow();
    EXPECT_LT(::GetTickCount64() - start, 3000u);
}

// A queue file damaged in the middle and torn at its end: the program starts all the same, with
// the jobs that could be read in the list (paused, they wait), and says so in one balloon.
TEST_F(MainWindowTest, StartsWithWhatADamagedQueueFileStillHolds) {
    {
        TExtractQueue queue(std::make_unique<TQueueJournal>(App().QueueFile));
        for (const char* source : {"D:\\a.zip\\one.txt", "D:\\a.zip\\two.txt", "D:\\a.zip\\three.txt"})
            queue.Append(source, "C:\\out\\x", 0);
    }
    std::string bytes = ReadWholeFile(App().QueueFile);
    bytes[bytes.find("two")] = '2';
    bytes.append("\x7FKvq\x10");
    UniqueHandle file(::CreateFileW(WideFromUtf8(App().QueueFile).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    file.Reset();
    PutInt("Mode", kPaused);

    CreateTestMainWindow();
    EXPECT_EQ(::SendMessageA(App().JobList, LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(App().Queue->GetSource(1), "D:\\a.zip\\three.txt");
    EXPECT_EQ(App().BalloonsShown, 1);
    EXPECT_EQ(ReadWholeFile(TQueueJournal::DamagedFileOf(App().QueueFile)), bytes);
    PumpPending();
    EXPECT_FALSE(App().Worker.Busy());
}

// A queue file of a newer version, as a newer build left it, stays as it is: the program starts with
// a queue in memory and says why.
TEST_F(MainWindowTest, LeavesANewerQueueFileAsItIs) {
    const std::string newer = "Kelvane queue 12\n\x7FKvq";
    TQueueJournal{App().QueueFile};
    std::ofstream(App().QueueFile, std::ios::binary | std::ios::trunc) << newer;
    CreateTestMainWindow();
    EXPECT_EQ(App().BalloonsShown, 1);
    EXPECT_EQ(BalloonTitleShown(), "キューのファイルは新しい版のものです");
    AddJob("D:\\a.zip\\one.txt", "C:\\out\\one.txt");
    EXPECT_EQ(App().BalloonsShown, 1);
    EXPECT_EQ(ReadWholeFile(App().QueueFile), newer);
}

TEST_F(MainWindowTest, ClosingOnlyHides) {
    PutInt("Visible", 1);
    PutInt("Mode", 1);
    HWND window = CreateTestMainWindow();
    ASSERT_TRUE(MenuEnabled(window, IDM_EXTRACT));
    ::SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_FALSE(MenuEnabled(window, IDM_CLOSE));
    EXPECT_FALSE(MenuEnabled(window, IDM_EXTRACT));
    // The system menu offers the exit, after a separator.
    HMENU systemMenu = ::GetSystemMenu(window, FALSE);
    const int count = ::GetMenuItemCount(systemMenu);
    EXPECT_EQ(::GetMenuItemID(systemMenu, count - 1), static_cast<UINT>(IDM_EXIT));
    EXPECT_EQ(::GetMenuState(systemMenu, count - 2, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
}

TEST_F(MainWindowTest, ChangingTheFolderRetargetsWaitingJobs) {
    HWND window = CreateTestMainWindow();
    AddJob("D:\\data\\a.zip\\a.txt", "F:\\out\\a.txt");
    AddJob(Utf8Text("D:\\data\\表.txt"), Utf8Text("F:\\out\\表.txt"));
    ASSERT_TRUE(SetDestinationFolder(window, "D:\\in"));
    EXPECT_EQ(App().Queue->GetDestination(0), "D:\\in\\a.txt");
    EXPECT_EQ(App().Queue->GetDestination(1), Utf8Text("D:\\in\\表.txt"));
    EXPECT_EQ(App().Queue->GetSource(1), Utf8Text("D:\\data\\表.txt"));
    EXPECT_EQ(WindowText(window), "Kelvane - D:\\in");
    EXPECT_FALSE(SetDestinationFolder(window, ""));
    EXPECT_EQ(App().DestinationFolder, "D:\\in");
    EXPECT_EQ(WindowText(window), "Kelvane - D:\\in");
}

TEST_F(MainWindowTest, ToolbarButtonsHaveTooltips) {
    HWND window = CreateTestMainWindow();
    const std::pair<UINT, const char*> expected[] = {
        {IDM_EXTRACT, "解凍"},         {IDM_DELETE, "削除"},         {IDM_CONTINUOUS, "連続解凍"},
        {IDM_PAUSE, "一時停止"},       {IDM_CANCELALL, "全て取り消し"}, {IDM_CHANGEDEST, "解凍先フォルダの変更"},
        {0, nullptr},                  {IDM_ABOUT, nullptr},
    };
    for (auto [command, text] : expected) {
        NMTTDISPINFOA info = {};
        char untouched[] = "untouched";
        info.hdr.code = TTN_NEEDTEXTA;
        info.hdr.idFrom = command;
        info.lpszText = untouched;
        ::SendMessageA(window, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
        EXPECT_STREQ(info.lpszText, text ? text : "untouched") << command;
    }
    EXPECT_EQ(::SendMessageA(App().Toolbar, TB_BUTTONCOUNT, 0, 0), 9);
}

TEST_F(MainWindowTest, ItemsAreTwoLinesOfTheListFontHigh) {
    CreateTestMainWindow();
    WindowDC screen(nullptr);
    ::SelectObject(screen.Get(), App().ListFont.Get());
    TEXTMETRICA metrics = {};
    ASSERT_TRUE(::GetTextMetricsA(screen.Get(), &metrics));
    EXPECT_EQ(App().LineHeight, metrics.tmHeight + 4);
    EXPECT_EQ(::SendMessageA(App().JobList, LB_GETITEMHEIGHT, 0, 0), 2 * metrics.tmHeight + 12);
}

TEST(ManifestTest, AsksForCommonControls6AndPerMonitorAwareness) {
    UniqueModule exe(::LoadLibraryExA((ProgramFolder() + "Kelvane.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(exe.Get());
    HRSRC found = ::FindResourceA(exe.Get(), MAKEINTRESOURCEA(1), RT_MANIFEST);
    ASSERT_TRUE(found);
    const auto* data = static_cast<const char*>(::LockResource(::LoadResource(exe.Get(), found)));
    ASSERT_TRUE(data);
    const std::string manifest(data, ::SizeofResource(exe.Get(), found));
    for (const char* needed : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                               "processorArchitecture=\"x86\" publicKeyToken=\"6595b64144ccf1df\"",
                               ">PerMonitorV2", ">true/pm</dpiAware>"})
        EXPECT_NE(manifest.find(needed), std::string::npos) << needed;
}

// A handler's error is reported in a box, and the window carries on with queue and list in step.
TEST_F(MainWindowTest, ReportsAnErrorThatEscapesAHandler) {
    HWND window = CreateTestMainWindow();
    AddJob("D:\\a.txt", "F:\\a.txt");
    WindowDC context(App().JobList);
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_LISTBOX;
    item.CtlID = IDC_JOBLIST;
    item.itemID = 1;  // no such job
    item.itemAction = ODA_DRAWENTIRE;
    item.hwndItem = App().JobList;
    item.hDC = context.Get();
    std::string shown;
    EXPECT_TRUE(WhileShown(
        "#32770", "ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ",
        [&](HWND box) {
            shown = MessageBoxText(box);
            ::PostMessageA(box, WM_COMMAND, IDOK, 0);
        },
        [&] { ::SendMessageA(window, WM_DRAWITEM, IDC_JOBLIST, reinterpret_cast<LPARAM>(&item)); }));
    EXPECT_NE(shown.find("ﾘｽﾄのｲﾝﾃﾞｯｸｽが範囲を超えています"), std::string::npos) << shown;
    EXPECT_NE(shown.find("TListIndexError"), std::string::npos) << shown;
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_EQ(App().Queue->Count(), 1);
    EXPECT_EQ(::SendMessageA(App().JobList, LB_GETCOUNT, 0, 0), 1);
}

}  // namespace
