// Names meet Windows' file functions in their wide form. From MAX_PATH characters on, a full path
// takes the \\?\ form, which lifts the limit; shorter ones stay as they are, relative ones too.
#pragma once

#include <string>
#include <string_view>

std::wstring SystemPath(std::string_view utf8);

// Whether two names are the same to the file system, which ignores case.
bool SameName(std::string_view one, std::string_view other);
