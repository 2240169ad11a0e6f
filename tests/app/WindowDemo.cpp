// Shows the main window with a job running, half done, two queued jobs (the second selected) and the
// about box beside it,
// for the README's screenshot; with "failure", the tray icon's balloon for two failed jobs instead;
// with "options", the options dialog once every plug-in of the folder the settings name has answered;
// with "browser PATH", the archive browser at PATH once it is listed, a file selected.
// scripts/screenshot drives it through two marker files in FOLDER: it writes "ready" once the
// picture is taken, and ends when "quit" appears.
//   window-demo FOLDER [failure|options|browser PATH]
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>

#include "app/AboutBox.h"
#include "app/BrowserWindow.h"
#include "app/AppState.h"
#include "app/Destination.h"
#include "app/Dpi.h"
#include "app/FailureNotice.h"
#include "app/Identifiers.h"
#include "app/MainWindow.h"
#include "app/OptionsDialog.h"
#include "app/RunningJob.h"
#include "app/TrayIcon.h"
#include "base/WideText.h"

namespace {

std::string gMarkers;

// What Windows itself shows of a part of the screen, from its top-left corner by default, as a 24-bit BMP.
void SaveScreen(const std::string& path, int width, int height, int left = 0, int top = 0) {
    WindowDC screen(nullptr);
    HDC memory = ::CreateCompatibleDC(screen.Get());
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen.Get(), width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen.Get(), left, top, SRCCOPY);
    ::SelectObject(memory, old);
    BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const DWORD stride = (width * 3 + 3) & ~3;
    std::string pixels(stride * height, '\0');
    ::GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(sizeof file + sizeof info + pixels.size()), 0, 0,
                             sizeof file + sizeof info};
    UniqueHandle out(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(out.Get(), &file, sizeof file, &written, nullptr);
    ::WriteFile(out.Get(), &info, sizeof info, &written, nullptr);
    ::WriteFile(out.Get(), pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
}

bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void ReadyWhenQuit(const std::string& picture, int width, int height, int left = 0, int top = 0) {
    SaveScreen(gMarkers + "\\" + picture, width, height, left, top);
    UniqueHandle ready(::CreateFileA((gMarkers + "\\ready").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
}

void CALLBACK Step(HWND window, UINT, UINT_PTR, DWORD) {
    static int state = 0;
    HWND about = ::FindWindowA("#32770", "Kelvane について");
    if (state == 0 && about && ::IsWindowVisible(about)) {
        state = 1;
        // Beside the jobs rather than over them; below them where the screen is too narrow.
        const int dpi = App().Dpi;
        RECT box = {};
        ::GetWindowRect(about, &box);
        POINT at = {Scaled(420, dpi), Scaled(150, dpi)};
        if (at.x + box.right - box.left > ::GetSystemMetrics(SM_CXSCREEN)) {
            RECT main = {};
            ::GetWindowRect(window, &main);
            at = {Scaled(200, dpi), main.bottom + Scaled(8, dpi)};
        }
        ::SetWindowPos(about, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ::RedrawWindow(about, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    } else if (state == 1) {
        // One tick after painting, so the picture is complete on the display.
        state = 2;
        RECT main = {};
        RECT box = {};
        ::GetWindowRect(window, &main);
        ::GetWindowRect(about, &box);
        ReadyWhenQuit("screen.bmp", std::max(main.right, box.right) + 8, std::max(main.bottom, box.bottom) + 8);
    } else if (state == 2 && Exists(gMarkers + "\\quit")) {
        ::EndDialog(about, IDOK);
    }
}

// The balloon shows once the failures' gathering ends; the picture is taken a little after.
void CALLBACK FailureStep(HWND window, UINT, UINT_PTR, DWORD) {
    static int ticks = 0;
    if (++ticks == 60)
        ReadyWhenQuit("screen.bmp", 1024, 768);
    else if (ticks > 60 && Exists(gMarkers + "\\quit"))
        ::PostMessageA(window, WM_QUIT, 0, 0);
}

void ShowFailures(HWND window) {
    TExtractOutcome outcome;
    outcome.Failure.Kind = TFailureKind::kPluginError;
    outcome.Failure.Plugin = "lzh.spi";
    outcome.Failure.PluginCode = 3;
    NoteFailure(window, "D:\\data\\old.lzh\\setup.exe", outcome);
    outcome.Failure.Kind = TFailureKind::kNotFound;
    outcome.Failure.Plugin = "zip.spi";
    NoteFailure(window, "D:\\data\\pack.lzh\\docs\\inner.zip\\readme.txt", outcome);
    ::SetTimer(window, 2, 100, FailureStep);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageA(&msg);
}

// Every row answered: no state cell says it is still being asked.
bool AllAnswered(HWND list) {
    const std::wstring asking = WideFromUtf8(Utf8Text("確認中..."));
    const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        LVITEMW cell = {};
        cell.iSubItem = 2;
        cell.pszText = text;
        cell.cchTextMax = 256;
        ::SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&cell));
        if (asking == text)
            return false;
    }
    return count > 0;
}

void CALLBACK OptionsStep(HWND, UINT, UINT_PTR, DWORD) {
    static int state = 0;
    HWND options = ::FindWindowA("#32770", "オプション");
    if (!options || !::IsWindowVisible(options))
        return;
    HWND list = ::GetDlgItem(options, IDC_PLUGINLIST);
    if (state == 0 && AllAnswered(list)) {
        state = 1;
        // The plug-in with its own settings, chosen.
        LVFINDINFOW find = {LVFI_STRING, L"settings.spi"};
        const int item = static_cast<int>(::SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1),
                                                         reinterpret_cast<LPARAM>(&find)));
        ListView_SetItemState(list, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ::SetWindowPos(options, HWND_TOP, 8, 8, 0, 0, SWP_NOSIZE);
        ::RedrawWindow(options, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    } else if (state == 1) {
        state = 2;
        RECT box = {};
        ::GetWindowRect(options, &box);
        ReadyWhenQuit("screen.bmp", box.right - box.left, box.bottom - box.top, box.left, box.top);
    } else if (state == 2 && Exists(gMarkers + "\\quit")) {
        ::EndDialog(options, IDOK);
    }
}

void CALLBACK BrowserStep(HWND, UINT, UINT_PTR, DWORD) {
    static int state = 0;
    HWND browser = ::FindWindowA(kBrowserClassName, nullptr);
    HWND list = browser ? ::GetDlgItem(browser, IDC_BROWSERLIST) : nullptr;
    if (state == 0 && list && ListView_GetItemCount(list) > 0) {
        state = 1;
        const int last = ListView_GetItemCount(list) - 1;
        ListView_SetItemState(list, last, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        const int dpi = WindowDpi(browser);
        ::SetWindowPos(browser, HWND_TOP, 8, 8, Scaled(640, dpi), Scaled(280, dpi), 0);
        ::RedrawWindow(browser, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    } else if (state == 1) {
        state = 2;
        RECT box = {};
        ::GetWindowRect(browser, &box);
        ReadyWhenQuit("screen.bmp", box.right - box.left, box.bottom - box.top, box.left, box.top);
    }
    // Also before the picture: a script that gave up must not wait for this program.
    if (Exists(gMarkers + "\\quit"))
        ::PostQuitMessage(0);
}

void AddJob(const std::string& source) {
    App().Queue->Append(source, DestinationFor(App().DestinationFolder, source), 0);
    ::SendMessageA(App().JobList, LB_ADDSTRING, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4)
        return 2;
    const bool failure = argc == 3 && std::string(argv[2]) == "failure";
    const bool options = argc == 3 && std::string(argv[2]) == "options";
    const bool browse = argc == 4 && std::string(argv[2]) == "browser";
    gMarkers = argv[1];
    if (!RegisterMainClass())
        return 1;
    HWND window = CreateMainWindow();
    if (!window)
        return 1;
    App().MainWindow = window;
    const int dpi = App().Dpi;
    ::SetWindowPos(window, nullptr, Scaled(8, dpi), Scaled(8, dpi), Scaled(600, dpi), Scaled(230, dpi), SWP_NOZORDER);
    SetDestinationFolder(window, Utf8Text("C:\\Users\\user\\解凍先"));
    App().Worker.RunMode = kPaused;
    ::ShowWindow(window, SW_SHOWNORMAL);
    UpdateCommandStates(window);
    AddJob("D:\\data\\pack.lzh\\docs\\inner.zip\\readme.txt");
    AddJob(Utf8Text("D:\\アーカイブ\\資料.zip\\表計算\\予定表.xls"));
    const std::string running = "D:\\data\\media.lzh\\iso\\disk.zip\\disk.img";
    ShowRunning(window, {running, DestinationFor(App().DestinationFolder, running)}, 1);
    // Half of the whole: the middle of the second level of three.
    ::SendMessageA(window, WM_JOBPROGRESS, 500, MAKELPARAM(2, 3));
    ::SendMessageA(App().JobList, LB_SETCURSEL, 2, 0);
    if (failure) {
        // Below the tray icon's own window, where the balloon appears.
        ::SetWindowPos(window, nullptr, Scaled(8, dpi), Scaled(150, dpi), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ShowFailures(window);
    } else if (browse) {
        ::ShowWindow(window, SW_HIDE);
        if (!RegisterBrowserClass())
            return 1;
        ::SetTimer(window, 1, 100, BrowserStep);
        BrowsePath(argv[3]);
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    } else if (options) {
        ::ShowWindow(window, SW_HIDE);
        ::SetTimer(window, 1, 100, OptionsStep);
        ShowOptions(window);  // returns once the script has its picture
    } else {
        ::SetTimer(window, 1, 100, Step);
        ShowAbout(window);  // returns once the script has its picture
    }
    RemoveTrayIcon();
    ::DestroyWindow(window);
    return 0;
}
