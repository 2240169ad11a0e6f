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
