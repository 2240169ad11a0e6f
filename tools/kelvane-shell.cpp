// Plays the shell's part for scripts: the right-drag of archive paths onto a folder, with
// "ここに解凍(&E)" chosen, through the drop handler registered for folders, found as the shell finds
// it (kelvane-shell64.exe plays the 64-bit shell and reads the 64-bit view); and the quit command.
//   kelvane-shell drop FOLDER PATH...   (ends once the drop handler has handed over or given up)
//   kelvane-shell wait      (for the resident program's window, 10 s at most)
//   kelvane-shell quit
//   kelvane-shell hold SECONDS     (keeps the drop handler loaded, as a shell does once a menu opened)
//   kelvane-shell desktop SECONDS  (a desktop whose shell runs with the limited half of the token)
// hold and desktop print "ready" once in place, and stay so for SECONDS unless ended before.
// Exit 0 when done, 1 when the drop handler or the program refused, 2 for wrong arguments.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "app/Identifiers.h"
#include "base/CommandLine.h"
#include "base/ComPtr.h"
#include "base/ModulePath.h"
#include "base/Owned.h"
#include "base/ProcAddress.h"
#include "base/Registry.h"
#include "base/WideText.h"
#include "handoff/Sender.h"
#include "shellext/DropHandlerClsid.h"
#include "shellext/ServerFile.h"
#include "tools/DropDataObject.h"

// Exported by user32 without a declaration in the headers.
extern "C" BOOL WINAPI SetShellWindow(HWND window);

namespace {

using UniqueIdList = Unique<NullIsEmpty<PIDLIST_ABSOLUTE, ::ILFree>>;

// The class that the folders' handler key names, made in process from the class entries of this
// program's registry view: only a server of this program's architecture can be made.
ComPtr<IShellExtInit> CreateRegisteredHandler() {
    const UniqueKey key = OpenKey(HKEY_CLASSES_ROOT, kDropHandlerKey, KEY_READ);
    const std::optional<std::string> text = QueryString(key.Get(), "", 64);
    CLSID id;
    ComPtr<IShellExtInit> init;
    if (text && SUCCEEDED(::CLSIDFromString(WideFromUtf8(*text).c_str(), &id)))
        ::CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.PutVoid());
    return init;
}

// As the shell offers them: the folder's ID list and the paths in a wide drop list.
bool Drop(const std::wstring& folder, const std::vector<std::wstring>& paths) {
    ComPtr<IShellExtInit> init = CreateRegisteredHandler();
    ComPtr<IContextMenu> menu;
    if (!init || FAILED(init->QueryInterface(IID_IContextMenu, menu.PutVoid())))
        return false;
    UniqueIdList target(::ILCreateFromPathW(folder.c_str()));
    ComPtr<TDropDataObject> data(new TDropDataObject(DropListBytes(paths)));
    if (!target || init->Initialize(target.Get(), data.Get(), nullptr) != S_OK)
        return false;
    UniqueMenu popup(::CreatePopupMenu());
    if (menu->QueryContextMenu(popup.Get(), 0, 1, 100, CMF_NORMAL) != 1)
        return false;
    CMINVOKECOMMANDINFO invoke = {};
    invoke.cbSize = sizeof invoke;
    invoke.lpVerb = MAKEINTRESOURCEA(0);
    return menu->InvokeCommand(&invoke) == S_OK;
}

// The handler sends from a thread of its own, which a shell that lives on lets finish. This one is
// about to end, and the thread with it: it waits, as long as that thread may take, for the handler
// to have nothing left to send.
void WaitForDropHandler() {
    const HMODULE server = ::GetModuleHandleA(kServerFileName);
    const auto canUnloadNow = server ? ProcAddress<HRESULT(STDAPICALLTYPE*)()>(server, "DllCanUnloadNow") : nullptr;
    const ULONGLONG deadline = ::GetTickCount64() + kPatientTurnWaitMs + kAnswerWaitMs;
    while (canUnloadNow && canUnloadNow() != S_OK && ::GetTickCount64() < deadline)
        ::Sleep(20);
}

bool WaitForWindow() {
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    while (!::FindWindowA("Kelvane", nullptr)) {
        if (::GetTickCount64() >= deadline)
            return false;
        ::Sleep(50);
    }
    return true;
}

bool Quit() {
    HWND window = ::FindWindowA("Kelvane", nullptr);
    return window && ::PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
}

void Ready() {
    std::printf("ready\n");
    std::fflush(stdout);
}

bool Hold(DWORD seconds) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ComPtr<IShellExtInit> init = CreateRegisteredHandler();
    if (!init)
        return false;
    Ready();
    ::Sleep(seconds * 1000);
    return true;
}

// The shell's part, in a process of the limited token, until the one that started it ends.
bool BeShell(DWORD parentId, DWORD seconds) {
    const UniqueHandle parent(::OpenProcess(SYNCHRONIZE, FALSE, parentId));
    HWND window = ::CreateWindowW(L"STATIC", L"shell", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (!parent || !window || !::SetShellWindow(window))
        return false;
    ::WaitForSingleObject(parent.Get(), seconds * 1000);
    return true;
}

bool PlayDesktop(DWORD seconds) {
    HANDLE own = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &own))
        return false;
    const UniqueHandle token(own);
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    if (!::GetTokenInformation(token.Get(), TokenLinkedToken, &linked, sizeof linked, &size))
        return false;
    const UniqueHandle limited(linked.LinkedToken);
    HANDLE primary = nullptr;
    if (!::DuplicateTokenEx(limited.Get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary, &primary))
        return false;
    const UniqueHandle started(primary);
    std::wstring command = L"\"" + WideFromUtf8(ModulePath()) + L"\" shell " +
                           std::to_wstring(::GetCurrentProcessId()) + L" " + std::to_wstring(seconds);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessAsUserW(primary, nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &process))
        return false;
    const UniqueHandle child(process.hProcess);
    ::CloseHandle(process.hThread);
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    while (!::GetShellWindow())
        if (::GetTickCount64() >= deadline || ::WaitForSingleObject(child.Get(), 50) != WAIT_TIMEOUT)
            return false;
    Ready();
    ::WaitForSingleObject(child.Get(), seconds * 1000);
    return true;
}

}  // namespace

int main() {
    const std::vector<std::wstring> argv = WideArguments();
    const size_t argc = argv.size();
    const std::wstring verb = argc > 1 ? argv[1] : L"";
    if (verb == L"quit" && argc == 2)
        return Quit() ? 0 : 1;
    if (verb == L"wait" && argc == 2)
        return WaitForWindow() ? 0 : 1;
    const DWORD seconds = argc > 2 ? std::wcstoul(argv[argc - 1].c_str(), nullptr, 10) : 0;
    if (verb == L"hold" && argc == 3)
        return Hold(seconds) ? 0 : 1;
    if (verb == L"desktop" && argc == 3)
        return PlayDesktop(seconds) ? 0 : 1;
    if (verb == L"shell" && argc == 4)
        return BeShell(std::wcstoul(argv[2].c_str(), nullptr, 10), seconds) ? 0 : 1;
    if (verb != L"drop" || argc < 4) {
        std::fprintf(stderr, "usage: kelvane-shell drop FOLDER PATH... | wait | quit | hold S | desktop S\n");
        return 2;
    }
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool dropped = Drop(argv[2], std::vector<std::wstring>(argv.begin() + 3, argv.end()));
    WaitForDropHandler();
    ::CoUninitialize();
    return dropped ? 0 : 1;
}
