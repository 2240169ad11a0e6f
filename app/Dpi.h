// Pixel sizes follow the DPI of the monitor a window is on; every size in the program is written for
// 96 DPI (100 %) and scaled from there.
#pragma once

#include <windows.h>

constexpr int kBaseDpi = 96;

// The window's DPI: per monitor where the system tells it, else the screen's.
int WindowDpi(HWND window);
inline int Scaled(int pixels, int dpi) {
    return ::MulDiv(pixels, dpi, kBaseDpi);
}
