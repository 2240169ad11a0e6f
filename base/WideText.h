// Names travel inside the programs as UTF-8, whole; they meet Windows through its wide functions and
// meet ANSI plug-ins only through exact conversions. A text without an exact counterpart is refused,
// never carried under a best-fit or "?" form that could name something else.
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

// False when wide holds a surrogate without its pair: such a name has no UTF-8 form.
bool ExactUtf8(std::wstring_view wide, std::string& utf8);
// False when utf8 is no valid UTF-8.
bool ExactWideFromUtf8(std::string_view utf8, std::wstring& wide);
// The wide form of a name; names inside are valid UTF-8, anything else is replaced.
std::wstring WideFromUtf8(std::string_view utf8);
// Between a name and the ANSI code page, exactly or not at all.
bool AnsiFromUtf8(std::string_view utf8, std::string& ansi);
bool Utf8FromAnsi(std::string_view ansi, std::string& utf8);
// A wide name in UTF-8 for showing only: a surrogate without its pair becomes U+FFFD.
std::string ShownUtf8(std::wstring_view wide);
// A name in the ANSI code page for showing only, "?" where the code page lacks a character.
std::string ShownAnsiFromUtf8(std::string_view utf8);
// Our own texts are compiled in code page 932, whatever the system's: this is their UTF-8 form.
std::string Utf8Text(std::string_view cp932);
