// Kelvane.exe as a user meets it: started twice, started without its drop handler, fed through the
// drop handler by a test acting as the shell, and quit.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <iterator>
#include <string>
#include <tuple>

#include "app/AppState.h"
#include "app/Identifiers.h"
#include "app/Resident.h"
#include "app/Settings.h"
#include "base/Registry.h"
#include "base/WideText.h"
#include "shellext/ServerFile.h"
#include "tests/app/WindowTestEnv.h"
#include "tests/engine/TestEnv.h"
#include "tests/handoff/ReceiverWindow.h"
#include "tests/shellext/ShellTestEnv.h"

namespace {

constexpr char kHandlerKey[] = "CLSID\\{5B0E7C3A-9D41-4F62-8A17-C3E2D6F90B84}";

bool HandlerRegistered() {
    return static_cast<bool>(OpenKey(HKEY_CLASSES_ROOT, kHandlerKey, KEY_QUERY_VALUE));
}

std::optional<std::string> Value(const std::string& key, REGSAM view) {
    const UniqueKey opened = OpenKey(HKEY_CLASSES_ROOT, key.c_str(), KEY_READ | view);
    return QueryString(opened.Get(), "", 1024);
}

// A key with its values and subkeys, as text; empty when the key does not exist.
std::string Dump(HKEY root, const std::string& key, REGSAM view) {
    const UniqueKey opened = OpenKey(root, key.c_str(), KEY_READ | view);
    if (!opened)
        return {};
    std::string text = key + "\n";
    char name[256];
    char data[1024];
    DWORD nameSize = sizeof name;
    DWORD dataSize = sizeof data;
    for (DWORD i = 0; ::RegEnumValueA(opened.Get(), i, name, &nameSize, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                                      &dataSize) == ERROR_SUCCESS;
         ++i, nameSize = sizeof name, dataSize = sizeof data)
        text.append("  ").append(name).append("=").append(data, dataSize).append("\n");
    for (DWORD i = 0;
         ::RegEnumKeyExA(opened.Get(), i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, nameSize = sizeof name)
        text += Dump(root, key + "\\" + name, view);
    return text;
}

// Everything of Kelvane's in one registry view, the machine's classes and the user's.
std::string KelvaneEntries(REGSAM view) {
    std::string all;
    for (const auto& [root, prefix] : {std::pair{HKEY_CLASSES_ROOT, ""}, {HKEY_CURRENT_USER, "Software\\Classes\\"}})
        for (const char* key : {kHandlerKey, "KelvaneSX.Kelvane", "Folder\\shellex\\DragDropHandlers\\Kelvane"})
            all += Dump(root, prefix + std::string(key), view);
    return all;
}

// While the program runs, each view names the server of its own architecture, beside the program.
void ExpectBothViewsRegistered() {
    for (const auto& [view, file] :
         {std::pair{KEY_WOW64_32KEY, kServerFileName32}, {KEY_WOW64_64KEY, kServerFileName64}}) {
        EXPECT_EQ(Value(std::string(kHandlerKey) + "\\InprocServer32", view), ProgramFolder() + file);
        EXPECT_EQ(Value("Folder\\shellex\\DragDropHandlers\\Kelvane", view), std::string(kHandlerKey).substr(6));
    }
}

int HostProcesses() {
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = ::Process32First(snapshot.Get(), &entry); more; more = ::Process32Next(snapshot.Get(), &entry))
        count += ::lstrcmpiA(entry.szExeFile, "KelvaneHost.exe") == 0;
    return count;
}

// The file's bytes once it can be read; empty while it is missing or still being written.
std::string ReadWhenWritten(const std::string& path) {
    UniqueHandle file(::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    0, nullptr));
    if (!file)
        return {};
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

// Whether every plug-in host of either width that program started is past Wine's start: its watch of
// the program runs beside its main thread. A 32-bit test cannot list a 64-bit host's modules, but it
// can count threads. Hosts that an earlier program left stuck do not count.
bool AllHostsStarted(DWORD program) {
    UniqueHandle processes(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(processes.Get(), &entry); more; more = ::Process32Next(processes.Get(), &entry)) {
        if (entry.th32ParentProcessID != program ||
            (::lstrcmpiA(entry.szExeFile, "KelvaneHost.exe") != 0 && ::lstrcmpiA(entry.szExeFile, "KelvaneHost64.exe") != 0))
            continue;
        int threads = 0;
        THREADENTRY32 thread = {};
        thread.dwSize = sizeof thread;
        for (BOOL next = ::Thread32First(processes.Get(), &thread); next; next = ::Thread32Next(processes.Get(), &thread))
            threads += thread.th32OwnerProcessID == entry.th32ProcessID;
        if (threads < 2)
            return false;
    }
    return true;
}

// Whether a running KelvaneHost.exe has loaded that plug-in.
bool HostLoaded(const char* plugin) {
    UniqueHandle processes(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(processes.Get(), &entry); more; more = ::Process32Next(processes.Get(), &entry)) {
        if (::lstrcmpiA(entry.szExeFile, "KelvaneHost.exe") != 0)
            continue;
        UniqueHandle modules(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, entry.th32ProcessID));
        MODULEENTRY32 module = {};
        module.dwSize = sizeof module;
        for (BOOL next = ::Module32First(modules.Get(), &module); next; next = ::Module32Next(modules.Get(), &module))
            if (::lstrcmpiA(module.szModule, plugin) == 0)
                return true;
    }
    return false;
}

void KillHosts() {
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.Get(), &entry); more; more = ::Process32Next(snapshot.Get(), &entry))
        if (::lstrcmpiA(entry.szExeFile, "KelvaneHost.exe") == 0)
            ::TerminateProcess(UniqueHandle(::OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID)).Get(), 1);
}

// Waits at most 10 s for done(); false on timeout.
template <typename Condition>
bool WaitFor(Condition done) {
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    while (!done()) {
        if (::GetTickCount64() >= deadline)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

class Resident {
public:
    // argument: a path for the browser, or none.
    explicit Resident(const std::string& program, const std::string& argument = {}) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        std::string commandLine = "\"" + program + "\"" + (argument.empty() ? "" : " \"" + argument + "\"");
        if (::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &info)) {
            process_.Reset(info.hProcess);
            UniqueHandle thread(info.hThread);
            id_ = info.dwProcessId;
        }
        EXPECT_TRUE(process_) << program;
    }
    ~Resident() {
        if (process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT)
            ::TerminateProcess(process_.Get(), 1);
    }

    // The main window of this process, once it exists.
    HWND Window() const {
        Search search = {id_, nullptr};
        ::EnumWindows(FindMain, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    DWORD Id() const { return id_; }
    bool Running() const { return ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }
    // Once its hosts are past Wine's start, which a kill in it can leave stuck for good.
    void Kill() {
        WaitFor([&] { return AllHostsStarted(id_); });
        ::TerminateProcess(process_.Get(), 1);
    }
    // The exit code once the process has ended within 10 s, else -1.
    int ExitCode() const {
        if (::WaitForSingleObject(process_.Get(), 10000) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        ::GetExitCodeProcess(process_.Get(), &code);
        return static_cast<int>(code);
    }
    int JobLines() const {
        HWND list = ::GetDlgItem(Window(), IDC_JOBLIST);
        return static_cast<int>(::SendMessageA(list, LB_GETCOUNT, 0, 0));
    }

private:
    struct Search {
        DWORD id;
        HWND found;
    };
    static BOOL CALLBACK FindMain(HWND window, LPARAM data) {
        auto* search = reinterpret_cast<Search*>(data);
        char name[32] = {};
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == search->id && ::GetClassNameA(window, name, sizeof name) && std::string(name) == "Kelvane") {
            search->found = window;
            return FALSE;
        }
        return TRUE;
    }

    UniqueHandle process_;
    DWORD id_ = 0;
};

// Answers the next message box of the resident program (10 s at most); false when none came.
bool Answer(WPARAM button) {
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = ::FindWindowA("#32770", "Kelvane")) != nullptr && ::IsWindowVisible(box); }))
        return false;
    ::PostMessageA(box, WM_COMMAND, button, 0);
    return true;
}

class ResidentTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
        DeleteKeptQueue();
        susie.SetPath(SamplePlugin(""));
    }
    void TearDown() override {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
        DeleteKeptQueue();
    }
    static void Settings(int mode, int visible) {
        RegWriteInt(kSettingsKey, "Mode", mode);
        RegWriteInt(kSettingsKey, "Visible", visible);
    }
    // The drop of `paths` onto `folder` with the right mouse button, and "ここに解凍(&E)" chosen,
    // or the menu only shown.
    static void ExtractHere(const std::string& folder, const std::vector<std::string>& paths, bool choose = true) {
        ComApartment apartment;
        ServerDll dll;
        ComPtr<IShellExtInit> init = dll.Create<IShellExtInit>(IID_IShellExtInit);
        ASSERT_TRUE(init);
        ComPtr<IContextMenu> menu;
        ASSERT_EQ(init->QueryInterface(IID_IContextMenu, menu.PutVoid()), S_OK);
        UniqueIdList target(::ILCreateFromPathA(folder.c_str()));
        ASSERT_EQ(init->Initialize(target.Get(), TestDataObject::WithPaths(paths).Get(), nullptr), S_OK);
        UniqueMenu popup(::CreatePopupMenu());
        ASSERT_EQ(menu->QueryContextMenu(popup.Get(), 0, 100, 200, CMF_NORMAL), 1);
        if (!choose)
            return;
        CMINVOKECOMMANDINFO invoke = {};
        invoke.cbSize = sizeof invoke;
        invoke.lpVerb = MAKEINTRESOURCEA(0);
        ASSERT_EQ(menu->InvokeCommand(&invoke), S_OK);
    }

    SusieSettings susie;
    ScratchFolder out;
    const std::string program = ProgramFolder() + "Kelvane.exe";
};

TEST_F(ResidentTest, OneInstanceRegistersTheHandlerWhileItRuns) {
    Resident first(program);
    ASSERT_TRUE(WaitFor([&] { return first.Window() != nullptr; }));
    ExpectBothViewsRegistered();
    const std::string entries32 = KelvaneEntries(KEY_WOW64_32KEY);
    const std::string entries64 = KelvaneEntries(KEY_WOW64_64KEY);
    Resident second(program);
    EXPECT_EQ(second.ExitCode(), 0);
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(second.Window(), nullptr);
    EXPECT_EQ(KelvaneEntries(KEY_WOW64_32KEY), entries32);
    EXPECT_EQ(KelvaneEntries(KEY_WOW64_64KEY), entries64);

    ::PostMessageA(first.Window(), WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(first.ExitCode(), 0);
    EXPECT_EQ(KelvaneEntries(KEY_WOW64_32KEY), "");
    EXPECT_EQ(KelvaneEntries(KEY_WOW64_64KEY), "");

    // Started again, it writes the same entries, no more.
    Resident again(program);
    ASSERT_TRUE(WaitFor([&] { return again.Window() != nullptr; }));
    EXPECT_EQ(KelvaneEntries(KEY_WOW64_32KEY), entries32);
    EXPECT_EQ(KelvaneEntries(KEY_WOW64_64KEY), entries64);
    ::PostMessageA(again.Window(), WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(again.ExitCode(), 0);
    EXPECT_EQ(KelvaneEntries(KEY_WOW64_32KEY) + KelvaneEntries(KEY_WOW64_64KEY), "");
}

// A start while the program quits (here slowly, waiting for a job that hangs) waits for that end
// and runs: "quit, then start again" always leaves one program running, its handler registered.
TEST_F(ResidentTest, AStartDuringASlowExitRunsOnceTheOldProgramHasGone) {
    Settings(kContinuous, 0);
    Resident first(program);
    ASSERT_TRUE(WaitFor([&] { return first.Window() != nullptr; }));
    ExtractHere(out.Path(), {TestData("stuck.hang\\a.txt")});
    ASSERT_TRUE(WaitFor([] { return HostProcesses() == 1; }));
    ::PostMessageA(first.Window(), WM_COMMAND, IDM_EXIT, 0);
    ASSERT_TRUE(WaitFor([] { return static_cast<bool>(UniqueHandle(::OpenEventA(SYNCHRONIZE, FALSE, kQuittingEventName))); }));
    Resident second(program);
    EXPECT_EQ(first.ExitCode(), 0);
    ASSERT_TRUE(WaitFor([&] { return second.Window() != nullptr; }));
    ExpectBothViewsRegistered();
    ::PostMessageA(second.Window(), WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(second.ExitCode(), 0);
    EXPECT_EQ(KelvaneEntries(KEY_WOW64_32KEY) + KelvaneEntries(KEY_WOW64_64KEY), "");
}

TEST_F(ResidentTest, EndsBeforeAnyWindowWithoutItsDropHandler) {
    ScratchFolder alone;
    ASSERT_TRUE(::CopyFileA(program.c_str(), (alone / "Kelvane.exe").c_str(), FALSE));
    Resident resident(alone / "Kelvane.exe");
    bool windowSeen = false;
    WaitFor([&] {
        windowSeen = windowSeen || resident.Window() != nullptr;
        return !resident.Running();
    });
    EXPECT_EQ(resident.ExitCode(), 0);
    EXPECT_FALSE(windowSeen);
}

TEST_F(ResidentTest, ExtractsWhatTheShellHandsOver) {
    Settings(kContinuous, 0);
    Resident resident(program);
    ASSERT_TRUE(WaitFor([&] { return resident.Window() != nullptr; }));
    const std::string inner = TestData("outer.zip\\mid.tar\\pack\\inner.zip\\");
    ExtractHere(out.Path(),
                {inner + "docs\\readme.txt", inner + "big.bin", TestData("holder.tar\\wrapped.k128\\tiny.txt")});
    EXPECT_TRUE(WaitFor([&] { return out.EntryCount() == 3 && resident.JobLines() == 0; }));
    EXPECT_TRUE(SameContents(out / "readme.txt", TestData("expect\\readme.txt")));
    EXPECT_TRUE(SameContents(out / "big.bin", TestData("expect\\big.bin")));
    EXPECT_TRUE(SameContents(out / "tiny.txt", TestData("expect\\small.txt")));
    ::PostMessageA(resident.Window(), WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(resident.ExitCode(), 0);
}

// Any process can hand off a member whose name climbs: it comes out in the folder under its last
// component, and names that make no file there write nothing.
TEST_F(ResidentTest, AHandedOffMembersNameNeverLeadsOutOfTheFolder) {
    Settings(kContinuous, 0);
    const std::string sub = out / "sub";
    ASSERT_TRUE(::CreateDirectoryA(sub.c_str(), nullptr));
    Resident resident(program);
    ASSERT_TRUE(WaitFor([&] { return resident.Window() != nullptr; }));
    // Sent as another program would: the shell's drop handler declines paths that exist on disk, as
    // trav.zip\.. does.
    const std::wstring trav = WideFromUtf8(TestData("trav.zip\\"));
    const std::wstring send = L'"' + WideFromUtf8(ProgramFolder()) + L"handoff_send.exe\" \"" + WideFromUtf8(sub) + L'"';
    EXPECT_EQ(RunServingSentMessages({send + L" " + trav + L"x/../../evil.txt " + trav + L".. " + trav + L"CON " + trav + L"a."}),
              std::vector<int>{0});
    EXPECT_TRUE(WaitFor([&] { return FileExists(sub + "\\evil.txt") && resident.JobLines() == 0; }));
    EXPECT_EQ(ReadWholeFile(sub + "\\evil.txt"), "climbed\r\n");
    EXPECT_EQ(out.EntryCount(), 1);
    ::PostMessageA(resident.Window(), WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(resident.ExitCode(), 0);
}

// Real plug-ins' ways with nested levels (see RealPluginLevelsTest) cost the first jobs nothing: the
// crash of memcrashunlisted.spi on a level in memory is contained, and the job goes on from a copy.
TEST_F(ResidentTest, TheFirstJobsThroughRealPluginsWaysSucceed) {
    Settings(kContinuous, 0);
    const PluginFolder folder{"tar.spi", "quirky\\threadlist.spi", "quirky\\memcrashunlisted.spi"};
    susie.SetPath(folder.Path());
    Resident resident(program);
    ASSERT_TRUE(WaitFor([&] { return resident.Window() != nullptr; }));
    ExtractHere(out.Path(), {TestData("levels.tar\\inner.tzip\\pack\\deeper.tzip\\docs\\readme.txt"),
                             TestData("levels.tar\\inner.vzip\\pack\\deeper.vzip\\small.txt")});
    EXPECT_TRUE(WaitFor([&] { return out.EntryCount() == 2 && resident.JobLines() == 0; }));
    EXPECT_TRUE(SameContents(out / "readme.txt", TestData("expect\\readme.txt")));
    EXPECT_TRUE(SameContents(out / "small.txt", TestData("expect\\small.txt")));
    ::PostMessageA(resident.Window(), WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(resident.ExitCode(), 0);
}

// What the running program's hosts made of plug-ins reaches kelvane-extract --list-plugins, for as
// long as the program runs.
TEST_F(ResidentTest, ListPluginsTellsWhatTheRunningProgramLeftOutOrGivesCopies) {
    Settings(kContinuous, 0);
    const PluginFolder folder{"tar.spi", "zip.spi", "crash.spi", "quirky\\memcrash.spi", "quirky\\memcrashunlisted.spi"};
    susie.SetPath(folder.Path());
    const std::string listed = out / "plugins.txt";
    const auto list = [&] {
        const std::string command = "cmd /c \"\"" + ProgramFolder() + "kelvane-extract.exe\" --list-plugins > \"" + listed + "\"\"";
        EXPECT_EQ(RunServingSentMessages(std::vector<std::string>{command}), std::vector<int>{0});
        return ReadWholeFile(listed);
    };
    {
        Resident resident(program);
        ASSERT_TRUE(WaitFor([&] { return resident.Window() != nullptr; }));
        ExtractHere(out.Path(), {TestData("broken.crash\\a.txt"), TestData("broken.crash\\b.txt"),
                                 TestData("levels.tar\\inner.mzip\\pack\\deeper.mzip\\small.txt"),
                                 TestData("levels.tar\\inner.vzip\\pack\\deeper.vzip\\docs\\readme.txt")});
        EXPECT_TRUE(WaitFor([&] { return out.EntryCount() == 2 && resident.JobLines() == 0; }));
        const std::string running = list();
        for (const char* line : {"crash.spi\t32\tleft-out\t*.tar\n", "memcrash.spi\t32\tgiven-copies\t*.zip\n",
                                 "memcrashunlisted.spi\t32\tgiven-copies\t*.zip\n", "tar.spi\t32\tloaded\t*.tar\n"})
            EXPECT_NE(running.find(line), std::string::npos) << line << running;
        ::PostMessageA(resident.Window(), WM_COMMAND, IDM_EXIT, 0);
        EXPECT_EQ(resident.ExitCode(), 0);
    }
    EXPECT_NE(list().find("crash.spi\t32\tloaded\t*.tar\n"), std::string::npos);
}

// The host starts, its plug-ins loaded, before any job: once the program runs, and again when the
// shell asks the drop handler for its menu, here after the first host has gone.
TEST_F(ResidentTest, StartsItsHostBeforeAnyJob) {
    Settings(kContinuous, 0);
    Resident resident(program);
    ASSERT_TRUE(WaitFor([&] { return resident.Window() != nullptr; }));
    ASSERT_TRUE(WaitFor([] { return HostLoaded("zip.spi"); }));
    KillHosts();
    ASSERT_TRUE(WaitFor([] { return HostProcesses() == 0; }));
    ExtractHere(out.Path(), {TestData("inner.zip\\small.txt")}, false);
    EXPECT_TRUE(WaitFor([] { return HostProcesses() == 1 && HostLoaded("zip.spi"); }));
    EXPECT_EQ(out.EntryCount(), 0);
    // An exit while the 64-bit host starts could leave it stuck in Wine's start.
    EXPECT_TRUE(WaitFor([&] { return AllHostsStarted(resident.Id()); }));
    ::PostMessageA(resident.Window(), WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(resident.ExitCode(), 0);
}

// A plug-in that never returns, in an extraction or in its start-up code (so in the host's start),
// keeps neither the program from quitting nor its host alive. Work that arrives while the program
// waits for that job to end is refused, and the handler goes all the same.
TEST_F(ResidentTest, AHangingPluginKeepsNothingRunning) {
    Settings(kContinuous, 0);
    const PluginFolder stalling{"tar.spi", "zip.spi", "stalling\\stall.spi"};
    // The plug-in each host has loaded, once Wine has started it: a program killed before then can
    // leave its host stuck in Wine's start for good.
    for (const auto& [folder, source, loaded] :
         {std::tuple{SamplePlugin(""), TestData("stuck.hang\\a.txt"), "hang.spi"},
          {stalling.Path(), TestData("inner.zip\\small.txt"), "stall.spi"}}) {
        SCOPED_TRACE(source);
        susie.SetPath(folder);
        {
            Resident resident(program);
            ASSERT_TRUE(WaitFor([&] { return resident.Window() != nullptr; }));
            ExtractHere(out.Path(), {source});
            // The host runs once a job has started.
            ASSERT_TRUE(WaitFor([] { return HostProcesses() == 1; }));
            const ULONGLONG asked = ::GetTickCount64();
            HWND window = resident.Window();
            ::PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
            for (const UINT command : {IDM_CANCELALL, IDM_DELETE, IDM_EXTRACT, IDM_CONTINUOUS})
                ::PostMessageA(window, WM_COMMAND, command, 0);
            ::PostMessageA(window, WM_RUNNEXT, 0, 0);
            ExtractHere(out.Path(), {TestData("inner.zip\\small.txt")});
            EXPECT_EQ(resident.ExitCode(), 0);
            EXPECT_LT(::GetTickCount64() - asked, 8000u);
            EXPECT_TRUE(WaitFor([] { return HostProcesses() == 0; }));
            EXPECT_EQ(KelvaneEntries(KEY_WOW64_32KEY) + KelvaneEntries(KEY_WOW64_64KEY), "");
        }
        // Should the program itself die, its host goes too.
        Resident resident(program);
        ASSERT_TRUE(WaitFor([&] { return resident.Window() != nullptr; }));
        ExtractHere(out.Path(), {source});
        ASSERT_TRUE(WaitFor([&] { return HostProcesses() == 1 && HostLoaded(loaded); }));
        resident.Kill();
        EXPECT_TRUE(WaitFor([] { return HostProcesses() == 0; }));
        EXPECT_EQ(out.EntryCount(), 0);
        // Kept for the next start, which is another case's.
        DeleteKeptQueue();
    }
}

// What a killed program's host had left, here the copy of a nested level made for the hanging
// plug-in, goes at the program's next start.
TEST_F(ResidentTest, AKilledProgramLeavesNoTemporariesForLong) {
    Settings(kContinuous, 0);
    const int before = TemporariesOfAnyone();
    {
        Resident resident(program);
        ASSERT_TRUE(WaitFor([&] { return resident.Window() != nullptr; }));
        ExtractHere(out.Path(), {TestData("hangs.zip\\inner.hang\\a.txt")});
        ASSERT_TRUE(WaitFor([&] { return HostProcesses() == 1 && TemporariesOfAnyone() > before; }));
        resident.Kill();
        KillHosts();
        EXPECT_TRUE(WaitFor([] { return HostProcesses() == 0; }));
    }
    EXPECT_GT(TemporariesOfAnyone(), before);
    Resident again(program);
    ASSERT_TRUE(WaitFor([&] { return again.Window() != nullptr; }));
    EXPECT_TRUE(WaitFor([&] { return TemporariesOfAnyone() == before; }));
    EXPECT_EQ(out.EntryCount(), 0);
    ::PostMessageA(again.Window(), WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(again.ExitCode(), 0);
}

// On 64-bit Windows the shell is a 64-bit process: kelvane-shell64.exe makes the handler from the
// 64-bit view, so KelvaneSX64.dll's, and hands over to the 32-bit program. The 32-bit shell still can.
TEST_F(ResidentTest, ExtractsWhatThe64BitShellHandsOver) {
    Settings(kContinuous, 0);
    Resident resident(program);
    ASSERT_TRUE(WaitFor([&] { return resident.Window() != nullptr; }));
    const std::string nested = TestData("outer.zip\\mid.tar\\pack\\inner.zip\\docs\\readme.txt");
    const std::string japanese = TestData("表フォルダ\\表.zip\\表\\表.txt");
    const std::string shell64 = '"' + ProgramFolder() + "kelvane-shell64.exe\" drop \"" + out.Path() + "\" \"" +
                                nested + "\" \"" + japanese + '"';
    EXPECT_EQ(RunServingSentMessages({shell64}), std::vector<int>{0});
    ExtractHere(out.Path(), {TestData("holder.tar\\wrapped.k128\\tiny.txt")});
    EXPECT_TRUE(WaitFor([&] { return out.EntryCount() == 3 && resident.JobLines() == 0; }));
    EXPECT_TRUE(SameContents(out / "readme.txt", TestData("expect\\readme.txt")));
    EXPECT_TRUE(SameContents(out / U("表.txt"), TestData(U("expect\\表.txt"))));
    EXPECT_TRUE(SameContents(out / "tiny.txt", TestData("expect\\small.txt")));
    ::PostMessageA(resident.Window(), WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(resident.ExitCode(), 0);
}

// Names outside code page 932 all the way through both drop handlers: a folder named José, an archive
// named Zoë-한글.zip, a member été\한국.txt beside decoys under its lossy forms, café.txt beside cafe.txt.
TEST_F(ResidentTest, AnyNameComesOutWholeThroughBothShells) {
    susie.SetPath(SamplePlugin("wide"));
    Settings(kContinuous, 0);
    Resident resident(program);
    ASSERT_TRUE(WaitFor([&] { return resident.Window() != nullptr; }));
    ScratchFolder archives;
    const std::wstring outer = WideFromUtf8(archives / "Zo\xC3\xAB-\xED\x95\x9C\xEA\xB8\x80.zip");
    ASSERT_TRUE(::CopyFileW(WideFromUtf8(TestData("wide.zip")).c_str(), outer.c_str(), FALSE));
    const std::wstring lossy = WideFromUtf8(TestData("lossy.zip"));
    const std::wstring folders[] = {WideFromUtf8(out / "Jos\xC3\xA9"), WideFromUtf8(out / "Jos\xC3\xA9 64")};
    std::vector<std::wstring> drops;
    for (const std::wstring& folder : folders) {
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        const wchar_t* shell = drops.empty() ? L"kelvane-shell.exe" : L"kelvane-shell64.exe";
        drops.push_back(L'"' + WideFromUtf8(ProgramFolder()) + shell + L"\" drop \"" + folder + L"\" \"" + outer +
                        L"\\\u00e9t\u00e9\\\ud55c\uad6d.txt\" \"" + lossy + L"\\caf\u00e9.txt\"");
    }
    EXPECT_EQ(RunServingSentMessages(drops), (std::vector<int>{0, 0}));
    const auto files = [](const std::wstring& folder) {
        WIN32_FIND_DATAW found;
        int count = 0;
        UniqueFind search(::FindFirstFileW((folder + L"\\*.txt").c_str(), &found));
        for (bool more = static_cast<bool>(search); more; more = ::FindNextFileW(search.Get(), &found))
            ++count;
        return count;
    };
    EXPECT_TRUE(WaitFor([&] { return files(folders[0]) == 2 && files(folders[1]) == 2 && resident.JobLines() == 0; }));
    for (const std::wstring& folder : folders) {
        std::string utf8;
        ASSERT_TRUE(ExactUtf8(folder, utf8));
        EXPECT_EQ(ReadWholeFile(utf8 + "\\\xED\x95\x9C\xEA\xB5\xAD.txt"), "the member outside code page 932\r\n");
        EXPECT_EQ(ReadWholeFile(utf8 + "\\caf\xC3\xA9.txt"), "the cafe with an accent\r\n");
    }
    ::PostMessageA(resident.Window(), WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(resident.ExitCode(), 0);
}

// A member path of 600 bytes, right-dragged in the 32-bit and in the 64-bit shell, comes out whole.
TEST_F(ResidentTest, LongMemberPathsComeOutFromBothShells) {
    Settings(kContinuous, 0);
    Resident resident(program);
    ASSERT_TRUE(WaitFor([&] { return resident.Window() != nullptr; }));
    const std::string source = TestData("long.tar\\" + LongMemberPath());
    ScratchFolder out64;
    const auto drop = [&](const char* shell, const ScratchFolder& folder) {
        return '"' + ProgramFolder() + shell + "\" drop \"" + folder.Path() + "\" \"" + source + '"';
    };
    EXPECT_EQ(RunServingSentMessages({drop("kelvane-shell.exe", out), drop("kelvane-shell64.exe", out64)}),
              (std::vector<int>{0, 0}));
    EXPECT_TRUE(WaitFor([&] { return out.EntryCount() == 1 && out64.EntryCount() == 1 && resident.JobLines() == 0; }));
    for (const ScratchFolder* folder : {&out, &out64})
        EXPECT_TRUE(SameContents(*folder / U("表示ソフト一覧_12.txt"), TestData("expect\\readme.txt")));
    ::PostMessageA(resident.Window(), WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(resident.ExitCode(), 0);
}

// Jobs waiting when the program is killed come back at its next start and, continuous, run. A
// logoff keeps the waiting job and the running one (here one that hangs); paused, they wait.
TEST_F(ResidentTest, JobsOutliveAKillAndALogoff) {
    // One host width, and no kill while it starts: Wine can leave a host it was starting when its
    // program died in that start for good (docs/platform.md).
    const PluginFolder plugins{"zip.spi", "tar.spi", "hang.spi", "stub128.spi"};
    susie.SetPath(plugins.Path());
    Settings(kPaused, 0);
    {
        Resident resident(program);
        ASSERT_TRUE(WaitFor([&] { return resident.Window() != nullptr; }));
        ExtractHere(out.Path(), {TestData("inner.zip\\small.txt"), TestData("inner.zip\\big.bin")});
        ASSERT_TRUE(WaitFor([&] { return resident.JobLines() == 2 && HostLoaded("zip.spi"); }));
        resident.Kill();
        ASSERT_EQ(resident.ExitCode(), 1);
        KillHosts();
        ASSERT_TRUE(WaitFor([] { return HostProcesses() == 0; }));
    }
    Settings(kContinuous, 0);
    {
        Resident resident(program);
        EXPECT_TRUE(WaitFor([&] { return out.EntryCount() == 2 && resident.JobLines() == 0; }));
        EXPECT_TRUE(SameContents(out / "small.txt", TestData("expect\\small.txt")));
        EXPECT_TRUE(SameContents(out / "big.bin", TestData("expect\\big.bin")));

        // The hanging job runs once its host has made the copy of its level.
        const int before = TemporariesOfAnyone();
        ExtractHere(out.Path(), {TestData("hangs.zip\\inner.hang\\a.txt"), TestData("holder.tar\\wrapped.k128\\tiny.txt")});
        ASSERT_TRUE(WaitFor([&] { return TemporariesOfAnyone() > before && resident.JobLines() == 2; }));
        HWND window = resident.Window();
        EXPECT_TRUE(::SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
        ::SendMessageA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        resident.Kill();
        ASSERT_EQ(resident.ExitCode(), 1);
        KillHosts();
        ASSERT_TRUE(WaitFor([] { return HostProcesses() == 0; }));
    }
    Settings(kPaused, 0);
    Resident resident(program);
    ASSERT_TRUE(WaitFor([&] { return resident.Window() != nullptr && resident.JobLines() == 2; }));
    EXPECT_EQ(out.EntryCount(), 2);
    ::PostMessageA(resident.Window(), WM_COMMAND, IDM_EXIT, 0);
    ASSERT_TRUE(Answer(IDYES));
    EXPECT_EQ(resident.ExitCode(), 0);
}

TEST_F(ResidentTest, QuitWithWaitingJobsAsksOnce) {
    Settings(kPaused, 0);
    Resident resident(program);
    ASSERT_TRUE(WaitFor([&] { return resident.Window() != nullptr; }));
    ExtractHere(out.Path(), {TestData("inner.zip\\small.txt"), TestData("inner.zip\\big.bin")});
    ASSERT_TRUE(WaitFor([&] { return resident.JobLines() == 2; }));
    EXPECT_TRUE(::IsWindowVisible(resident.Window()));

    ::PostMessageA(resident.Window(), WM_COMMAND, IDM_EXIT, 0);
    ASSERT_TRUE(Answer(IDNO));
    EXPECT_TRUE(WaitFor([] { return ::FindWindowA("#32770", "Kelvane") == nullptr; }));
    EXPECT_TRUE(resident.Running());
    EXPECT_EQ(resident.JobLines(), 2);
    EXPECT_TRUE(HandlerRegistered());

    ::PostMessageA(resident.Window(), WM_COMMAND, IDM_EXIT, 0);
    ASSERT_TRUE(Answer(IDYES));
    EXPECT_EQ(resident.ExitCode(), 0);
    EXPECT_FALSE(HandlerRegistered());
    EXPECT_EQ(out.EntryCount(), 0);
    EXPECT_EQ(RegReadInt(kSettingsKey, "Mode", -1), kPaused);
    EXPECT_EQ(RegReadInt(kSettingsKey, "Visible", -1), 1);
    EXPECT_EQ(RegReadStr(kSettingsKey, "DestDir", MAX_PATH, "").empty(), false);
}

// The browser, as a start with a path opens it: it answers at every moment while a level lists that
// never ends, until Esc stops it; a start with a path while the program runs hands it over; and what
// is picked in it comes out of the queue with its bytes.
TEST_F(ResidentTest, TheBrowserAnswersWhileItListsAndTakesOutWhatIsPicked) {
    Settings(kContinuous, 0);
    RegWriteStr(kSettingsKey, "DestDir", out.Path());
    Resident resident(program, TestData("stuck.hang\\a.txt"));
    HWND browser = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (browser = ::FindWindowA("KelvaneBrowser", nullptr)) != nullptr; }));
    const auto statusText = [&] {
        HWND status = ::GetDlgItem(browser, IDC_BROWSERSTATUS);
        wchar_t text[512] = {};
        DWORD_PTR length = 0;
        ::SendMessageTimeoutW(status, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                              1000, &length);
        return std::wstring(text);
    };
    // The hanging plug-in is inside its lookup: the window answers each time within 100 ms.
    ASSERT_TRUE(WaitFor([] { return HostProcesses() >= 1 && HostLoaded("hang.spi"); }));
    for (int i = 0; i < 20; ++i) {
        DWORD_PTR result = 0;
        const ULONGLONG asked = ::GetTickCount64();
        ASSERT_TRUE(::SendMessageTimeoutW(browser, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result));
        EXPECT_LT(::GetTickCount64() - asked, 100u);
        ::Sleep(25);
    }
    ::PostMessageW(browser, WM_COMMAND, IDM_BROWSE_STOP, 0);
    EXPECT_TRUE(WaitFor([&] { return statusText().find(WideFromUtf8(Utf8Text("中止しました"))) != std::wstring::npos; }))
        << ShownUtf8(statusText());

    Resident handing(program, TestData("outer.zip\\mid.tar\\pack\\inner.zip"));
    EXPECT_EQ(handing.ExitCode(), 0);
    HWND list = ::GetDlgItem(browser, IDC_BROWSERLIST);
    ASSERT_TRUE(WaitFor([&] { return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 4; }));
    // The rows: the folder docs first, then big.bin, empty.txt and small.txt; the last is picked.
    ::SendMessageW(list, WM_KEYDOWN, VK_END, 0);
    ::PostMessageW(browser, WM_COMMAND, IDM_BROWSE_EXTRACT, 0);
    EXPECT_TRUE(WaitFor([&] { return ReadWhenWritten(out / "small.txt") == "small member\r\n"; }));
    // Enter goes into the folder at the top, Backspace up again, Alt+Left back into it; Enter on a
    // file queues it.
    ::SendMessageW(list, WM_KEYDOWN, VK_HOME, 0);
    ::PostMessageW(browser, WM_COMMAND, IDM_BROWSE_ENTER, 0);
    ASSERT_TRUE(WaitFor([&] { return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 1; }));
    ::SendMessageW(list, WM_KEYDOWN, VK_BACK, 0);
    ASSERT_TRUE(WaitFor([&] { return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 4; }));
    ::PostMessageW(browser, WM_COMMAND, IDM_BROWSE_BACK, 0);
    ASSERT_TRUE(WaitFor([&] { return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 1; }));
    ::SendMessageW(list, WM_KEYDOWN, VK_HOME, 0);
    ::PostMessageW(browser, WM_COMMAND, IDM_BROWSE_ENTER, 0);
    const std::string readme = ReadWholeFile(TestData("expect\\readme.txt"));
    EXPECT_TRUE(WaitFor([&] { return ReadWhenWritten(out / "readme.txt") == readme; }));
    ::PostMessageA(resident.Window(), WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(resident.ExitCode(), 0);
}

}  // namespace
