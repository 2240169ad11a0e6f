// Where a module's file lies: the program's own folder is where its companions are looked for.
#pragma once

#include <windows.h>

#include <string>

// The full path of a module's file (the program's for null) in UTF-8, whole whatever the code page;
// empty when it cannot be had whole.
std::string ModulePath(HMODULE module = nullptr);
// The folder of the program's file in UTF-8, with a trailing backslash; empty when unknown.
std::string ProgramFolder();
