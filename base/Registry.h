// The one set of registry readers and writers; every read checks type and size before use. Key names,
// value names and texts are UTF-8, met with the registry's wide functions, so a value names a path
// whole whatever the code page.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Owned.h"

// `access` may carry KEY_WOW64_64KEY or KEY_WOW64_32KEY to name a view of the registry.
UniqueKey OpenKey(HKEY root, const char* subKey, REGSAM access);

// A REG_SZ value (and REG_EXPAND_SZ, unexpanded, when allowed) of at most maxChars UTF-16 units with
// its terminator, in UTF-8; anything else (a lone surrogate included) reads as absent.
std::optional<std::string> QueryString(HKEY key, const char* name, DWORD maxChars, bool allowExpand = false);
std::optional<DWORD> QueryDword(HKEY key, const char* name);

// `view` 0 is the process's own view of the registry; KEY_WOW64_64KEY or KEY_WOW64_32KEY names one
// (on 64-bit Windows the two keep their own class entries, and a 32-bit process sees the 32-bit one).

// Creates the key with any missing parents and sets a REG_SZ value (empty name: the default value).
bool WriteString(HKEY root, const std::string& subKey, const char* name, const std::string& text, REGSAM view = 0);
bool WriteDword(HKEY root, const std::string& subKey, const char* name, DWORD value, REGSAM view = 0);
// Deletes one value; false when it could not (absent included).
bool DeleteValue(HKEY root, const std::string& subKey, const char* name);
// Deletes one key that has no subkeys left; false when it could not (absent included).
bool DeleteKey(HKEY root, const std::string& subKey, REGSAM view = 0);
// Deletes the key with everything below it; false when it could not (absent included).
bool DeleteTree(HKEY root, const std::string& subKey);

using TDwordValues = std::vector<std::pair<std::string, DWORD>>;
// Every REG_DWORD value of the key; values of other types, and names that are no whole text, are
// passed over.
TDwordValues DwordValues(HKEY key);
// Makes the key anew as one that lasts until the user logs off (its parents lasting, as usual), with
// these values.
bool WriteVolatileDwords(HKEY root, const std::string& subKey, const TDwordValues& values);
