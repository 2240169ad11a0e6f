#include "app/Theme.h"

TTheme::TTheme(HWND window, const wchar_t* classList) noexcept
    : theme_(::IsAppThemed() ? ::OpenThemeData(window, classList) : nullptr) {}

TTheme::~TTheme() {
    if (theme_)
        ::CloseThemeData(theme_);
}

bool TTheme::Draws(int part) const noexcept {
    return theme_ && ::IsThemePartDefined(theme_, part, 0);
}

void TTheme::Draw(HDC dc, int part, int state, const RECT& rect) const noexcept {
    ::DrawThemeBackground(theme_, dc, part, state, &rect, nullptr);
}
