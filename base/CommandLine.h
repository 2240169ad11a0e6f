// The program's arguments as Windows keeps them: wide, every name whole.
#pragma once

#include <string>
#include <vector>

// The arguments, the program's name first; empty when the command line cannot be read.
std::vector<std::wstring> WideArguments();
