#include "app/MainWindow.h"

#include <commctrl.h>
#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <typeinfo>

#include "app/BrowserWindow.h"
#include "app/Commands.h"
#include "app/Destination.h"
#include "app/Dpi.h"
#include "app/FailureNotice.h"
#include "app/Identifiers.h"
#include "app/Intake.h"
#include "app/JobCommands.h"
#include "app/JobList.h"
#include "app/KeptQueue.h"
#include "app/RunningJob.h"
#include "app/Resident.h"
#include "app/Settings.h"
#include "app/WindowPlacement.h"
#include "app/Toolbar.h"
#include "app/TrayIcon.h"
#include "base/PathText.h"
#include "base/ModulePath.h"
#include "base/WideText.h"
#include "handoff/Receiver.h"

namespace {

using THandler = void (*)(HWND window, TMessage& message);

// Whether a message brings work or acts on it. Once the exit is decided, such messages are refused:
// the program takes no new work, and nothing touches what the tear-down has ended.
enum class TWork : bool { kNone, kTakes };

struct TDispatch {
    UINT Msg;
    THandler Handler;
    TWork Work;
};

void OnTimer(HWND window, TMessage& message);

// The controls keep notifying in ANSI, as the handlers read them; the window itself is wide.
void OnNotifyFormat(HWND, TMessage& message) {
    message.Result = NFR_ANSI;
}

constexpr TDispatch kDispatch[] = {
    {WM_CREATE, OnCreate, TWork::kNone},
    {WM_DESTROY, OnDestroy, TWork::kNone},
    {WM_SIZE, OnSize, TWork::kNone},
    {WM_CLOSE, OnClose, TWork::kNone},
    {WM_ENDSESSION, OnEndSession, TWork::kNone},
    {WM_DRAWITEM, OnDrawItem, TWork::kNone},
    {WM_MEASUREITEM, OnMeasureItem, TWork::kNone},
    {WM_NOTIFY, OnNotify, TWork::kNone},
    {WM_NOTIFYFORMAT, OnNotifyFormat, TWork::kNone},
    {WM_COMMAND, OnCommand, TWork::kTakes},
    {WM_SYSCOMMAND, OnCommand, TWork::kTakes},
    {WM_DROPFILES, AcceptDroppedFiles, TWork::kTakes},
    {WM_USER, AcceptHandOff, TWork::kTakes},
    {WM_RUNNEXT, RunNextJob, TWork::kTakes},
    {WM_JOBFINISHED, OnJobFinished, TWork::kTakes},
    {WM_JOBPROGRESS, OnJobProgress, TWork::kTakes},
    {WM_TIMER, OnTimer, TWork::kTakes},
    {WM_SHOWWINDOW, OnShowWindow, TWork::kNone},
    {WM_TRAYNOTIFY, OnTrayNotify, TWork::kTakes},
    {WM_DPICHANGED, OnDpiChanged, TWork::kNone},
    {WM_GETMINMAXINFO, OnGetMinMaxInfo, TWork::kNone},
    {WM_INITMENUPOPUP, OnInitMenuPopup, TWork::kNone},
    {WM_COPYDATA, OnCopyData, TWork::kTakes},
};

// The smallest window, in 96-DPI pixels: the toolbar's buttons and a few lines of jobs.
constexpr SIZE kMinimumSize = {240, 160};

void OnTimer(HWND window, TMessage& message) {
    if (message.WParam == IDT_FAILURES)
        ShowGatheredFailures(window);
    else if (message.WParam == IDT_RUNNING)
        TakeFinishedJobs(window);
    else if (message.WParam == IDT_FLUSH)
        FlushNow(window);
}

// What a message that brings work gets once the program quits: nothing, and what it owns is freed.
void RefuseWork(HWND, TMessage& message) {
    if (message.Msg == WM_DROPFILES)
        ::DragFinish(reinterpret_cast<HDROP>(message.WParam));
}

void OnHandOffMessage(HWND window, TMessage& message) {
    ReceiveHandOff(window, message.WParam, App().Pending);
}

void OnTaskbarCreated(HWND window, TMessage&) {
    AddTrayIcon(window);
}

void OnWarmUp(HWND, TMessage&) {
    // A job that runs has its hosts already.
    App().Worker.WarmUp(*App().Host);
}

// Registered messages have no fixed number: they are looked at before the table. Each of them
// brings work (a tray icon added again would outlive the program).
TDispatch FindEntry(UINT msg) {
    const AppState& app = App();
    if (app.RegisteredMessage && msg == app.RegisteredMessage)
        return {msg, OnHandOffMessage, TWork::kTakes};
    if (app.TaskbarCreatedMessage && msg == app.TaskbarCreatedMessage)
        return {msg, OnTaskbarCreated, TWork::kTakes};
    if (app.WarmUpMessage && msg == app.WarmUpMessage)
        return {msg, OnWarmUp, TWork::kTakes};
    for (const TDispatch& entry : kDispatch)
        if (entry.Msg == msg)
            return entry;
    return {msg, nullptr, TWork::kNone};
}

THandler FindHandler(UINT msg) {
    const TDispatch entry = FindEntry(msg);
    if (entry.Handler && entry.Work == TWork::kTakes && App().Quitting)
        return RefuseWork;
    return entry.Handler;
}

// The commands whose states follow the window's visibility and the run mode, in the order they
// are set. IDM_CHANGEDEST follows the queue instead and is not here.
struct TCommandRule {
    UINT Command;
    bool NeedsVisible;
    bool AnyMode;
    uint8_t Mode;
    bool OnToolbar;
};

constexpr TCommandRule kCommandRules[] = {
    {IDM_CLOSE, true, true, 0, false},
    {IDM_EXTRACT, true, false, kPaused, true},
    {IDM_DELETE, true, false, kPaused, true},
    {IDM_CONTINUOUS, false, false, kPaused, true},
    {IDM_CANCELALL, false, false, kPaused, true},
    {IDM_PAUSE, false, false, kContinuous, true},
};

std::string TypeName(const std::type_info& type) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : type.name();
    std::free(demangled);
    return name;
}

// For the message box, in the code page.
std::string ModuleName() {
    std::string folder = ModulePath();
    std::string name;
    SplitLastComponent(folder, name);
    return ShownAnsiFromUtf8(name);
}

// An error that escaped a handler: reported, and the program carries on.
void ShowApplicationError(const std::string& kind, const void* where, const std::string& text) {
    char message[1024];
    std::snprintf(message, sizeof message, "%sがﾓｼﾞｭｰﾙ %s の\n%p で発生しました。\n%s%s\n", kind.c_str(),
                  ModuleName().c_str(), where, text.c_str(), "");
    ::MessageBoxA(nullptr, message, "ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ", MB_TASKMODAL | MB_ICONSTOP);
}

void Dispatch(THandler handler, HWND window, TMessage& message) {
    const void* where = reinterpret_cast<const void*>(handler);
    try {
        handler(window, message);
    } catch (const std::exception& error) {
        ShowApplicationError(TypeName(typeid(error)), where, error.what());
    } catch (...) {
        ShowApplicationError("unknown exception", where, "");
    }
}

}  // namespace

// A window of the wide kind: its title holds a folder's name whole.
bool RegisterMainClass() {
    HINSTANCE module = ::GetModuleHandleA(nullptr);
    const std::wstring className = WideFromUtf8(kMainClassName);
    WNDCLASSW windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = module;
    windowClass.hIcon = ::LoadIconA(module, MAKEINTRESOURCEA(IDI_KELVANE));
    windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_MENU + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
    windowClass.lpszClassName = className.c_str();
    return ::RegisterClassW(&windowClass) != 0;
}

HWND CreateMainWindow() {
    const TSettings settings = LoadSettings();
    HWND window = ::CreateWindowExW(0, WideFromUtf8(kMainClassName).c_str(), L"Kelvane",
                                    WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, CW_USEDEFAULT, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, ::GetModuleHandleA(nullptr),
                                    nullptr);
    App().Worker.RunMode = settings.Mode;
    if (!window)
        return nullptr;
    SetDestinationFolder(window, settings.DestDir);
    // After the folder is set: the kept jobs keep the destinations they were queued with.
    App().Queue = OpenQueue();
    RestorePlacement(window, settings);
    FitToClient(window);
    const int shown = SavedShowCommand(settings.WindowState);
    App().ShownAs = shown == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    ::UpdateWindow(window);
    if (settings.Visible)
        ::ShowWindow(window, shown);
    UpdateCommandStates(window);
    ShowKeptJobs(window);
    ::DragAcceptFiles(window, TRUE);
    return window;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    THandler handler = FindHandler(msg);
    if (!handler)
        return ::DefWindowProcW(window, msg, wParam, lParam);
    TMessage message = {msg, wParam, lParam, 0};
    Dispatch(handler, window, message);
    return message.Result;
}

void OnCreate(HWND window, TMessage&) {
    AppState& app = App();
    app.ToolbarPresent = true;
    app.Dpi = WindowDpi(window);
    app.ListFont.Reset(CreateListFont(app.Dpi));
    ::InitCommonControls();
    app.Toolbar = CreateToolbar(window, app.Dpi);
    app.JobList = CreateJobList(window);
    AddTrayIcon(window);
    app.Host = TPluginHosts::Beside(ProgramFolder());
    AddExitToSystemMenu(window);
}

void OnSize(HWND, TMessage& message) {
    // The toolbar lays itself out along the top edge.
    ::SendMessageA(App().Toolbar, WM_SIZE, message.WParam, message.LParam);
    const RECT below = {0, ToolbarHeight(App().Dpi), LOWORD(message.LParam), HIWORD(message.LParam)};
    MoveJobList(App().JobList, below);
}

// A placement applied to a hidden window sends no WM_SIZE.
void FitToClient(HWND window) {
    RECT client = {};
    ::GetClientRect(window, &client);
    ::SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
}

void OnDpiChanged(HWND window, TMessage& message) {
    AppState& app = App();
    app.Dpi = HIWORD(message.WParam);
    app.ListFont.Reset(CreateListFont(app.Dpi));
    RescaleJobList(app.JobList);
    // The strip and the button size are chosen at creation: a new toolbar takes the old one's place.
    ::DestroyWindow(app.Toolbar);
    app.Toolbar = CreateToolbar(window, app.Dpi);
    UpdateCommandStates(window);
    const auto* suggested = reinterpret_cast<const RECT*>(message.LParam);
    ::SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    FitToClient(window);
}

void OnGetMinMaxInfo(HWND window, TMessage& message) {
    auto* limits = reinterpret_cast<MINMAXINFO*>(message.LParam);
    const int dpi = WindowDpi(window);
    limits->ptMinTrackSize = {Scaled(kMinimumSize.cx, dpi), Scaled(kMinimumSize.cy, dpi)};
}

void OnClose(HWND window, TMessage&) {
    // Closing only hides: the program stays resident.
    HideMainWindow(window);
}

void UpdateCommandStates(HWND window) {
    HMENU menu = ::GetMenu(window);
    const bool visible = ::IsWindowVisible(window);
    const uint8_t mode = App().Worker.RunMode;
    for (const TCommandRule& rule : kCommandRules) {
        const bool enabled = (visible || !rule.NeedsVisible) && (rule.AnyMode || mode == rule.Mode);
        ::EnableMenuItem(menu, rule.Command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
        if (rule.OnToolbar)
            ::SendMessageA(App().Toolbar, TB_ENABLEBUTTON, rule.Command, MAKELPARAM(enabled ? 1 : 0, 0));
    }
}

void HideMainWindow(HWND window) {
    if (::IsWindowVisible(window) && !::IsIconic(window))
        App().ShownAs = ::IsZoomed(window) ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    ::ShowWindow(window, SW_HIDE);
    UpdateCommandStates(window);
}

void ShowMainWindow(HWND window) {
    // As the user left it: a maximized window comes back maximized, a minimized one restored.
    ::ShowWindow(window, ::IsIconic(window) ? SW_RESTORE : ::IsWindowVisible(window) ? SW_SHOW : App().ShownAs);
    UpdateCommandStates(window);
}

void AddExitToSystemMenu(HWND window) {
    HMENU systemMenu = ::GetSystemMenu(window, FALSE);
    if (::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr))
        ::AppendMenuA(systemMenu, MF_STRING, IDM_EXIT, "常駐終了(&X)");
}
