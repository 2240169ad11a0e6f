// The failure balloon's text, laid out so that the shell shows it whole. Windows wraps a balloon's
// lines itself; Wine's tray shows a balloon that breaks only at the text's own line feeds, so there
// the lines are broken by measuring them in the balloon's font.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

// The widest line, in 96-DPI pixels: about the text width of a Windows 10 balloon.
constexpr int kBalloonWidth = 240;

// A line's width in pixels.
using TMeasureLine = std::function<int(std::wstring_view)>;

// Texts are wide, as the tray record's fields are. The text for a field of `capacity` units,
// terminator included. The last line (the reason) is
// never shortened; the line before it (the source) loses its middle to "..." until all fits. With
// `measure`, lines wider than `width` are broken, after a space where the line has one, never inside
// a surrogate pair; joined again they give the text's lines back.
std::wstring LayOutBalloonText(std::wstring_view text, size_t capacity, const TMeasureLine& measure, int width);

// The width of a line in the balloon's font (the system's message font) at a DPI.
int BalloonLineWidth(std::wstring_view line, int dpi);

// What the tray record's balloon field gets: broken for the balloon's width at `dpi` under Wine only.
std::wstring BalloonText(std::wstring_view text, size_t capacity, int dpi);

// What the record's title field gets. Under Wine it ends in full-width spaces that make it wider
// than the text's widest line: the balloon takes its width from its widest line or title, and one that
// would start left of the screen is moved to x = 0 losing that much width, so with the tray in the
// screen's top-left corner the widest line lost its end. Now the title's invisible end gives way.
std::wstring BalloonTitle(std::wstring_view title, std::wstring_view text, size_t capacity, int dpi);
