// Paths are ANSI strings in the system code page; every scan steps over double-byte characters so
// that a trail byte equal to '\' is never taken for a separator.
#pragma once

#include <string>
#include <string_view>

// Position of the last byte of `separators` in `path` outside double-byte characters, or npos.
size_t FindLastSeparator(std::string_view path, std::string_view separators);
// How many bytes of `separators` `path` holds outside double-byte characters.
size_t CountSeparators(std::string_view path, std::string_view separators);

// "D:\a\b.lzh" -> path "D:\a", last "b.lzh". No separator: path empty, last = whole path.
void SplitLastComponent(std::string& path, std::string& last);

// path with every '\' and '/' outside double-byte characters made `separator`: archives from the
// Unix world separate member names with '/', and the two mean the same. A '/' is never a trail byte.
std::string WithSeparator(std::string_view path, char separator);

// A folder with one '\' at its end, as names are appended to it; empty stays empty.
std::string FolderWithSeparator(std::string_view folder);

// The longest head of text of at most maxBytes bytes that ends on a character boundary.
std::string_view CutAtCharacter(std::string_view text, size_t maxBytes);

// A zero-terminated text field of a fixed-size record, taken up to its first zero byte.
std::string_view FieldText(const char* field, size_t fieldSize);
