// A visual style's class data for one window, open while this lives. Without an active style (or
// without Common Controls 6) nothing is open, and callers draw plainly.
#pragma once

#include <windows.h>
#include <uxtheme.h>

class TTheme {
public:
    TTheme(HWND window, const wchar_t* classList) noexcept;
    TTheme(const TTheme&) = delete;
    TTheme& operator=(const TTheme&) = delete;
    ~TTheme();

    // Whether the style draws this part; a style may leave some out.
    bool Draws(int part) const noexcept;
    void Draw(HDC dc, int part, int state, const RECT& rect) const noexcept;

private:
    HTHEME theme_;
};
