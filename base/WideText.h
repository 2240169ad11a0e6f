// Exact conversions between the ANSI code page and UTF-16: a text that has no exact counterpart is
// refused, never carried under a best-fit or "?" form that could name something else.
#pragma once

#include <string>
#include <string_view>

// False when ansi holds bytes that are no valid text in the ANSI code page.
bool ExactWide(std::string_view ansi, std::wstring& wide);
// False when a character of wide has no exact form in the ANSI code page, or wide holds a surrogate
// without its pair.
bool ExactAnsi(std::wstring_view wide, std::string& ansi);

// The text in the ANSI code page with "?" where it has no exact form: for showing, never for finding.
std::string ShownAnsi(std::wstring_view wide);
// The wide form of an ANSI text as the system's wide functions take it, invalid bytes replaced.
std::wstring WideFromAnsi(std::string_view ansi);
