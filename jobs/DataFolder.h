// Where the resident program keeps what must outlive it: the user's local application data, in a
// folder of ours. Never roamed: the queue and the record name this machine's paths.
#pragma once

#include <string>

// "%LOCALAPPDATA%\Kelvane", UTF-8, without a trailing backslash; under the user's temporary folder when
// that variable is missing or has no exact form. Not made here.
std::string UserDataFolder();

// A file of ours in that folder.
std::string UserDataFile(const char* name);
