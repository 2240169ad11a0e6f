// The one set of registry readers and writers; every read checks type and size before use.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "base/Owned.h"

UniqueKey OpenKey(HKEY root, const char* subKey, REGSAM access);

// A REG_SZ value (and REG_EXPAND_SZ, unexpanded, when allowed) of at most maxBytes bytes with its
// terminator; anything else reads as absent.
std::optional<std::string> QueryString(HKEY key, const char* name, DWORD maxBytes, bool allowExpand = false);
std::optional<DWORD> QueryDword(HKEY key, const char* name);

// Creates the key with any missing parents and sets a REG_SZ value (empty name: the default value).
bool WriteString(HKEY root, const std::string& subKey, const char* name, const std::string& text);
bool WriteDword(HKEY root, const std::string& subKey, const char* name, DWORD value);
// Deletes one key that has no subkeys left; false when it could not (absent included).
bool DeleteKey(HKEY root, const std::string& subKey);
