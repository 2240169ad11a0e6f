// Paths as text: names inside the programs are UTF-8, where no byte of a character is ever '\' or '/';
// the ANSI code page's double-byte characters may have a trail byte equal to '\', so ANSI text is
// scanned a character at a time.
#pragma once

#include <string>
#include <string_view>

enum class TTextForm { kUtf8, kAnsi };

// How many bytes the character at text[i] takes, never past the text's end.
size_t CharacterLength(std::string_view text, size_t i, TTextForm form = TTextForm::kUtf8);

// Position of the last byte of `separators` in `path` outside double-byte characters, or npos.
size_t FindLastSeparator(std::string_view path, std::string_view separators, TTextForm form = TTextForm::kUtf8);
// How many bytes of `separators` `path` holds outside double-byte characters.
size_t CountSeparators(std::string_view path, std::string_view separators, TTextForm form = TTextForm::kUtf8);

// "D:\a\b.lzh" -> path "D:\a", last "b.lzh". No separator: path empty, last = whole path.
void SplitLastComponent(std::string& path, std::string& last, TTextForm form = TTextForm::kUtf8);

// path with every '\' and '/' made `separator`: archives from the Unix world separate member names
// with '/', and the two mean the same. A '/' is never a trail byte.
std::string WithSeparator(std::string_view path, char separator, TTextForm form = TTextForm::kUtf8);

// A folder with one '\' at its end, as names are appended to it; empty stays empty.
std::string FolderWithSeparator(std::string_view folder, TTextForm form = TTextForm::kUtf8);

// A folder as people read it and as two of them compare: without the separators at its end, a drive's
// root ("C:\") kept whole.
std::string FolderShown(std::string_view folder);

// The longest head of text of at most maxBytes bytes that ends on a character boundary.
std::string_view CutAtCharacter(std::string_view text, size_t maxBytes, TTextForm form = TTextForm::kUtf8);

// A zero-terminated text field of a fixed-size record, taken up to its first zero byte.
std::string_view FieldText(const char* field, size_t fieldSize);
