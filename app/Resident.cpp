#include "app/Resident.h"

#include <objbase.h>
#include <ole2.h>

#include <string>

#include "app/BrowserWindow.h"
#include "app/Identifiers.h"
#include "app/JobCommands.h"
#include "app/MainWindow.h"
#include "app/ReplacedFiles.h"
#include "app/Settings.h"
#include "app/TrayIcon.h"
#include "base/ModulePath.h"
#include "base/ProcAddress.h"
#include "base/WideText.h"
#include "handoff/Channel.h"
#include "shellext/ServerFile.h"

namespace {

using TServerEntry = HRESULT(STDAPICALLTYPE*)();

// Only the copy beside the program: a DLL of that name elsewhere on the search path is never used.
// The 32-bit server registers its 64-bit sibling as well (see the registration).
std::string ServerPath() {
    const std::string folder = ProgramFolder();
    return folder.empty() ? folder : folder + kServerFileName;
}

// What the window still gets after this (queued commands, hand-offs, the worker's last messages,
// drops) is refused by the window procedure; the queue and the window's resources stay until the
// program ends, for the messages that only paint.
void TearDown(HWND window) {
    AppState& app = App();
    app.Quitting = true;
    // A start from now on waits for this program's end instead of ending at once.
    app.QuittingMark.Reset(::CreateEventA(nullptr, TRUE, TRUE, kQuittingEventName));
    ::DragAcceptFiles(window, FALSE);
    // The worker uses the host until its extraction ends.
    WaitForWorker();
    app.Host.reset();
    KeepStanding({});
    RemoveTrayIcon();
    SaveSettings(window);
    if (app.Queue)
        app.Queue->Flush();
    ::PostQuitMessage(0);
}

bool ConfirmExit(HWND window) {
    if (App().Queue->Count() == 0)
        return true;
    return ::MessageBoxA(window, "キューにメッセージが残ってます。\r\n終了しますか？", "Kelvane",
                         MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDNO;
}

// Runs the window part of the program between registering and unregistering the drop handler.
void RunWindow() {
    AppState& app = App();
    if (!RegisterMainClass())
        return;
    // Registered before the window exists: a drop handler that finds the window at once must not
    // send a message the window does not know yet.
    app.RegisteredMessage = RegisterHandOffMessage();
    if (!app.RegisteredMessage)
        return;
    app.WarmUpMessage = RegisterWarmUpMessage();
    app.TaskbarCreatedMessage = ::RegisterWindowMessageA("TaskbarCreated");
    // What an earlier program that died had learnt of plug-ins is not this one's.
    KeepStanding({});
    if (!RegisterBrowserClass())
        return;
    app.MainWindow = CreateMainWindow();
    if (!app.MainWindow)
        return;
    app.Accelerators = ::LoadAcceleratorsA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCELERATORS));
    // The first job should not wait for the plug-ins to load: the hosts start once the window runs,
    // in processes and on a thread of their own.
    ::PostMessageA(app.MainWindow, app.WarmUpMessage, 0, 0);
    if (!app.Browsed.empty())
        BrowseHandedPath(app.Browsed);
    RunMessageLoop();
}

}  // namespace

int RunResident(const std::wstring& browsed) {
    AppState& app = App();
    if (!TakeInstance(app.InstanceMutex)) {
        if (!browsed.empty())
            HandToRunning(browsed);
        return 0;
    }
    app.Browsed = browsed;
    app.QueueFile = TQueueJournal::DefaultFile();
    RemoveReplacedFiles();
    // The folder browser is a shell dialog and wants COM on this thread; the browser's drags want OLE.
    const HRESULT com = ::OleInitialize(nullptr);
    try {
        // A registration that a program which died left behind is replaced here, or, should this
        // fail half-way, removed: the shell never offers the command with no program to take it.
        if (CallServerRegistration(true)) {
            try {
                RunWindow();
            } catch (...) {
            }
        }
        CallServerRegistration(false);
    } catch (...) {
    }
    if (SUCCEEDED(com))
        ::OleUninitialize();
    LetInstanceGo();
    return 0;
}

void LetInstanceGo() {
    AppState& app = App();
    // Not left to static destruction, which comes after the release: a start waiting for the
    // instance would find the file still open.
    if (app.Queue)
        app.Queue->CloseJournal();
    ::ReleaseMutex(app.InstanceMutex.Get());
}

bool TakeInstance(UniqueHandle& mutex) {
    // One call makes or opens the mutex and says which: two starts at the same moment cannot both
    // find it free.
    mutex.Reset(::CreateMutexA(nullptr, TRUE, kInstanceMutexName));
    if (!mutex)
        return false;
    if (::GetLastError() != ERROR_ALREADY_EXISTS)
        return true;
    // Free already: the other program has let it go and only its last handles remain. Else, if it
    // quits, its end (drop handler unregistered) makes way for this one.
    DWORD waited = ::WaitForSingleObject(mutex.Get(), 0);
    if (waited == WAIT_TIMEOUT && UniqueHandle(::OpenEventA(SYNCHRONIZE, FALSE, kQuittingEventName)))
        waited = ::WaitForSingleObject(mutex.Get(), kQuittingWaitMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
        return true;
    mutex.Reset();
    return false;
}

bool CallServerRegistration(bool registering) {
    const std::string path = ServerPath();
    if (path.empty())
        return false;
    UniqueModule server(::LoadLibraryW(WideFromUtf8(path).c_str()));
    if (!server)
        return false;
    auto entry = ProcAddress<TServerEntry>(server.Get(), registering ? "DllRegisterServer" : "DllUnregisterServer");
    return entry && entry() == S_OK;
}

void HandToRunning(const std::wstring& path) {
    // The running program may have only just started: its window comes soon after its mutex.
    HWND running = nullptr;
    for (int tries = 0; tries < 100 && !(running = ::FindWindowW(WideFromUtf8(kMainClassName).c_str(), nullptr)); ++tries)
        ::Sleep(100);
    if (!running)
        return;
    // The browser it shows may come to the front.
    DWORD process = 0;
    ::GetWindowThreadProcessId(running, &process);
    ::AllowSetForegroundWindow(process);
    COPYDATASTRUCT data = {kOpenInBrowserData, static_cast<DWORD>(path.size() * sizeof(wchar_t)),
                           const_cast<wchar_t*>(path.data())};
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 10000, &result);
}

void RunMessageLoop() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (TranslateBrowserKeys(msg) || ::TranslateAcceleratorW(App().MainWindow, App().Accelerators, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void ExitResident(HWND window, TMessage& message) {
    if (!ConfirmExit(window)) {
        message.Result = -1;
        return;
    }
    // Setup's quit came while the question was open, and stands: it keeps the queue.
    if (App().Quitting)
        return;
    // The user's own exit keeps nothing for the next start: the waiting jobs were let go just now,
    // and the running one ends with the program, as it always has.
    App().Queue->AbandonKept();
    TearDown(window);
}

void QuitKeepingJobs(HWND window) {
    TearDown(window);
}

void OnDestroy(HWND window, TMessage&) {
    if (!App().Quitting)
        TearDown(window);
}

void OnEndSession(HWND window, TMessage& message) {
    if (!message.WParam)
        return;
    // The queue is on the disk, the running job at its front: both come back at the next logon.
    if (App().Queue)
        App().Queue->Flush();
    SaveSettings(window);
    CallServerRegistration(false);
}
