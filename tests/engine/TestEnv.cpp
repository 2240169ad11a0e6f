#include "tests/engine/TestEnv.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/Owned.h"
#include "base/WideText.h"
#include "engine/SusieSettings.h"

namespace {

std::string FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) {
        ADD_FAILURE() << name << " is not set";
        return {};
    }
    return value;
}

// Names in a scratch folder may be outside the code page.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    UniqueFind search(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (search) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(folder + L"\\" + name);
            } else {
                ::SetFileAttributesW((folder + L"\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW((folder + L"\\" + name).c_str());
            }
        } while (::FindNextFileW(search.Get(), &found));
    }
    ::RemoveDirectoryW(folder.c_str());
}

void RemoveTree(const std::string& folder) {
    RemoveTree(WideFromUtf8(folder));
}

}  // namespace

std::string U(std::string_view cp932) {
    return Utf8Text(cp932);
}

std::string TestData(const std::string& relative) {
    return FromEnvironment("KELVANE_TESTDATA") + "\\" + relative;
}

std::string SamplePlugin(const std::string& relative) {
    return FromEnvironment("KELVANE_PLUGINS") + "\\" + relative;
}

std::string ReadWholeFile(const std::string& path) {
    // Names are UTF-8, as the engine's.
    std::ifstream in(std::filesystem::path(WideFromUtf8(path)), std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

::testing::AssertionResult SameContents(const std::string& path, const std::string& expected) {
    const std::string got = ReadWholeFile(path);
    const std::string want = ReadWholeFile(expected);
    if (got == want)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << " (" << got.size() << " bytes) differs from " << expected << " ("
                                         << want.size() << " bytes)";
}

bool FileExists(const std::string& path) {
    return ::GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

ScratchFolder::ScratchFolder() {
    static int serial = 0;
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "kvtest" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(++serial);
    RemoveTree(path_);
    ::CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() {
    RemoveTree(path_);
}

int ScratchFolder::EntryCount() const {
    int count = 0;
    WIN32_FIND_DATAA found;
    UniqueFind search(::FindFirstFileA((path_ + "\\*").c_str(), &found));
    if (!search)
        return 0;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..")
            ++count;
    } while (::FindNextFileA(search.Get(), &found));
    return count;
}

int TemporariesNamed(const std::string& prefix) {
    char folder[MAX_PATH + 1] = {};
    ::GetTempPathA(sizeof folder, folder);
    const std::string pattern = std::string(folder) + prefix + "*";
    int count = 0;
    WIN32_FIND_DATAA found;
    UniqueFind search(::FindFirstFileA(pattern.c_str(), &found));
    if (search) {
        do
            ++count;
        while (::FindNextFileA(search.Get(), &found));
    }
    return count;
}

int TemporariesOfAnyone() {
    return TemporariesNamed("~kv");
}

PluginFolder::PluginFolder(std::initializer_list<const char*> plugins)
    : PluginFolder(std::vector<const char*>(plugins)) {}

PluginFolder::PluginFolder(const std::vector<const char*>& plugins) {
    for (const char* plugin : plugins) {
        std::string name = plugin;
        name = name.substr(name.find_last_of('\\') + 1);
        EXPECT_TRUE(::CopyFileA(SamplePlugin(plugin).c_str(), (*this / name).c_str(), FALSE)) << plugin;
    }
}

SusieSettings::SusieSettings() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kSusiePluginKey);
}

SusieSettings::~SusieSettings() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kSusiePluginKey);
}

void SusieSettings::SetPath(const std::string& folder) {
    const std::wstring wide = WideFromUtf8(folder);
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, WideFromUtf8(kSusiePluginKey).c_str(),
                                WideFromUtf8(kSusiePathValue).c_str(), REG_SZ, wide.c_str(),
                                static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

void SusieSettings::SetActivate(const char* plugin, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, kSusieActivateKey, plugin, type, data, size), ERROR_SUCCESS);
}

std::vector<DWORD> RunningChildIds(const char* fileName) {
    std::vector<DWORD> ids;
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.Get(), &entry); more; more = ::Process32Next(snapshot.Get(), &entry))
        if (entry.th32ParentProcessID == ::GetCurrentProcessId() && ::lstrcmpiA(entry.szExeFile, fileName) == 0)
            ids.push_back(entry.th32ProcessID);
    return ids;
}

DWORD RunningChildId(const char* fileName) {
    const std::vector<DWORD> ids = RunningChildIds(fileName);
    return ids.empty() ? 0 : ids.front();
}

namespace {

// A set of the sample plug-ins' shared counters, mapped for the process's life; -1 when unmapped.
class TSampleCounters {
public:
    TSampleCounters(const char* name, DWORD count)
        : Mapping(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, count * sizeof(LONG), name)),
          View(Mapping ? ::MapViewOfFile(Mapping.Get(), FILE_MAP_READ, 0, 0, count * sizeof(LONG)) : nullptr) {}
    LONG operator[](size_t index) const {
        return View ? static_cast<const volatile LONG*>(View.Get())[index] : -1;
    }

private:
    UniqueHandle Mapping;
    UniqueView View;
};

}  // namespace

LONG SampleGetFileCount() {
    static const TSampleCounters count("KelvaneSampleGetFileCount", 1);
    return count[0];
}

TFamilyCalls SampleFamilyCalls() {
    static const TSampleCounters counts("KelvaneSampleFamilyCalls", 2);
    return {counts[0], counts[1]};
}

TCrashCalls SampleCrashCalls() {
    static const TSampleCounters counts("KelvaneSampleCrashCalls", 2);
    return {counts[0], counts[1]};
}
