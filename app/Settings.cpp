#include "app/Settings.h"

#include "app/AppState.h"
#include "base/Registry.h"
#include "base/WideText.h"

namespace {

// The window geometry fits 16 bits; anything else (or CW_USEDEFAULT) lets the system choose.
constexpr int kCoordinateMin = -32768;
constexpr int kCoordinateMax = 32767;

// The process's current folder in UTF-8, whole; empty when it has no exact form.
std::string CurrentFolder() {
    wchar_t current[MAX_PATH] = {};
    const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, current);
    std::string folder;
    if (length == 0 || length >= MAX_PATH || !ExactUtf8(std::wstring_view(current, length), folder))
        return {};
    return folder;
}

}  // namespace

int RegReadInt(const char* subKey, const char* name, int defaultValue) {
    UniqueKey key = OpenKey(HKEY_CURRENT_USER, subKey, KEY_QUERY_VALUE);
    auto value = QueryDword(key.Get(), name);
    return value ? static_cast<int>(*value) : defaultValue;
}

int RegReadIntRange(const char* subKey, const char* name, int min, int max, int defaultValue) {
    const int value = RegReadInt(subKey, name, defaultValue);
    return value >= min && value <= max ? value : defaultValue;
}

void RegWriteInt(const char* subKey, const char* name, int value) {
    WriteDword(HKEY_CURRENT_USER, subKey, name, static_cast<DWORD>(value));
}

std::string RegReadStr(const char* subKey, const char* name, size_t bufferSize, const std::string& defaultValue) {
    UniqueKey key = OpenKey(HKEY_CURRENT_USER, subKey, KEY_QUERY_VALUE);
    return QueryString(key.Get(), name, static_cast<DWORD>(bufferSize)).value_or(defaultValue);
}

void RegWriteStr(const char* subKey, const char* name, const std::string& text) {
    WriteString(HKEY_CURRENT_USER, subKey, name, text);
}

TSettings LoadSettings() {
    TSettings settings;
    settings.Left = RegReadIntRange(kSettingsKey, "Left", kCoordinateMin, kCoordinateMax, CW_USEDEFAULT);
    settings.Top = RegReadIntRange(kSettingsKey, "Top", kCoordinateMin, kCoordinateMax, CW_USEDEFAULT);
    settings.Width = RegReadIntRange(kSettingsKey, "Width", 0, kCoordinateMax, CW_USEDEFAULT);
    settings.Height = RegReadIntRange(kSettingsKey, "Height", 0, kCoordinateMax, CW_USEDEFAULT);
    settings.WindowState = RegReadIntRange(kSettingsKey, "WindowState", SW_HIDE, SW_MAX, SW_SHOWNORMAL);
    settings.Mode = static_cast<uint8_t>(RegReadIntRange(kSettingsKey, "Mode", 0, 1, 0));
    settings.Visible = RegReadIntRange(kSettingsKey, "Visible", 0, 1, 0) != 0;
    settings.DestDir = RegReadStr(kSettingsKey, "DestDir", MAX_PATH, "");
    if (settings.DestDir.empty())
        settings.DestDir = CurrentFolder();
    return settings;
}

void SaveSettings(HWND window) {
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (::GetWindowPlacement(window, &placement)) {
        const RECT& normal = placement.rcNormalPosition;
        RegWriteInt(kSettingsKey, "Visible", ::IsWindowVisible(window) ? 1 : 0);
        // Hidden, the window keeps the state it comes back in.
        const bool visible = ::IsWindowVisible(window);
        RegWriteInt(kSettingsKey, "WindowState", visible ? static_cast<int>(placement.showCmd) : App().ShownAs);
        RegWriteInt(kSettingsKey, "Left", normal.left);
        RegWriteInt(kSettingsKey, "Top", normal.top);
        RegWriteInt(kSettingsKey, "Width", normal.right - normal.left);
        RegWriteInt(kSettingsKey, "Height", normal.bottom - normal.top);
    }
    RegWriteInt(kSettingsKey, "Mode", App().Worker.RunMode.load());
    RegWriteStr(kSettingsKey, "DestDir", App().DestinationFolder);
}
