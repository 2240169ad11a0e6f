// Drop lists (CF_HDROP's DROPFILES block): made, and read in one pass, as many paths as they are.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Reads the block's paths in order, whole: a wide list as it is, an ANSI list widened from the system
// code page. The header is checked against size before a byte of it is used, and a list whose end
// is missing gives the paths that end inside the block. False for a block that is no drop list.
bool ReadDropFiles(const void* block, size_t size, std::vector<std::wstring>& paths);
// CF_HDROP data: the DROPFILES header, then the texts, each with its zero, then one more zero. A
// wide list of ANSI paths holds them as the system's wide functions see them.
std::vector<char> DropListBytes(const std::vector<std::string>& paths, bool wide = false);
std::vector<char> DropListBytes(const std::vector<std::wstring>& paths);
