// Where the engine tests find their data and plug-ins, and scratch folders they clean up.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Temporary.h"

// Our test texts are compiled in code page 932, as the program's are; names reach the engine in UTF-8.
std::string U(std::string_view cp932);

std::string TestData(const std::string& relative);

// A member path three folders deep with Japanese names, 600 bytes in code page 932 (U() for the engine), many of whose
// characters (表, ソ) end in the byte of '\'. long.tar holds a member at this path, as
// make_test_archives.py builds it.
inline std::string LongMemberPath() {
    std::string path;
    for (const char* folder : {"表計算ソフト", "予定表の控え", "ソース一覧表"}) {
        for (int i = 0; i < 16; ++i)
            path += folder;
        path += "\\";
    }
    return path + "表示ソフト一覧_12.txt";
}

std::string SamplePlugin(const std::string& relative);
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);
// Whether two files hold the same bytes (a failure names the files, not megabytes of content).
::testing::AssertionResult SameContents(const std::string& path, const std::string& expected);

// A fresh folder under the system's temporary folder, removed with its files at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
    // Files and folders in it.
    int EntryCount() const;

private:
    std::string path_;
};

// Files and folders in the user's temporary folder whose names start with prefix.
int TemporariesNamed(const std::string& prefix);
// The engine's temporary files and folders of this process: its id and its token, so that what a
// dead process of the same id left long ago does not count.
inline int EngineTemporaries() {
    return TemporariesNamed("~kv" + std::to_string(::GetCurrentProcessId()) + "-" + TemporaryToken() + "-");
}
// Those of any process.
int TemporariesOfAnyone();

// The ids of the still running processes of that file name that this process started.
std::vector<DWORD> RunningChildIds(const char* fileName);
// One of them; 0 when none runs.
DWORD RunningChildId(const char* fileName);

// GetFile calls of the counting sample plug-in (counting\countzip), in every process, so far. Tests
// that use it share the registry's lock, so none counts another's calls.
LONG SampleGetFileCount();
// Lookups, listings and extractions of the sample with wide entry points (wide\widezip), in every
// process, so far, by family.
struct TFamilyCalls {
    LONG Ansi = 0;
    LONG Wide = 0;
};
TFamilyCalls SampleFamilyCalls();
// Loads (one a host) and lookups with memory input of the crashing sample (crash.spi), in every
// process, so far.
struct TCrashCalls {
    LONG Loads = 0;
    LONG MemoryLookups = 0;
};
TCrashCalls SampleCrashCalls();

// A plug-in folder holding copies of the named sample plug-ins (paths under build/plugins).
class PluginFolder : public ScratchFolder {
public:
    explicit PluginFolder(std::initializer_list<const char*> plugins);
    explicit PluginFolder(const std::vector<const char*>& plugins);
};

// Susie's registry settings as a test wants them; restored to "none" afterwards.
class SusieSettings {
public:
    SusieSettings();
    ~SusieSettings();
    void SetPath(const std::string& folder);
    void SetActivate(const char* plugin, DWORD type, const void* data, DWORD size);
};
