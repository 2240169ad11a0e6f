// The resident program's settings under HKEY_CURRENT_USER\Software\Ombrik\Kelvane: read once while
// the main window is created, written on the way out, or at WM_ENDSESSION, where the way out never
// comes. Reads never fail; they fall back. The
// window's position is in workspace coordinates, as WINDOWPLACEMENT gives and takes it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/ProductKey.h"

int RegReadInt(const char* subKey, const char* name, int defaultValue);
int RegReadIntRange(const char* subKey, const char* name, int min, int max, int defaultValue);
void RegWriteInt(const char* subKey, const char* name, int value);
// A REG_SZ of at most bufferSize UTF-16 units with its terminator, in UTF-8, or the default. Texts
// are read and written with the registry's wide functions: a folder keeps its name whole.
std::string RegReadStr(const char* subKey, const char* name, size_t bufferSize, const std::string& defaultValue);
void RegWriteStr(const char* subKey, const char* name, const std::string& text);

struct TSettings {
    int Left = CW_USEDEFAULT;
    int Top = CW_USEDEFAULT;
    int Width = CW_USEDEFAULT;
    int Height = CW_USEDEFAULT;
    int WindowState = SW_SHOWNORMAL;  // as WINDOWPLACEMENT's showCmd
    uint8_t Mode = 0;
    bool Visible = false;
    std::string DestDir;  // UTF-8; the current directory when none is saved
};

TSettings LoadSettings();
void SaveSettings(HWND window);
