// Where the resident program keeps what must outlive it: the user's local application data, in a
// folder of ours. Never roamed: the queue and the record name this machine's paths.
#pragma once

#include <string>

// "%LOCALAPPDATA%\Kelvane\<name>", UTF-8; under the user's temporary folder when that variable is
// missing or has no exact form. The folder is not made here.
std::string UserDataFile(const char* name);
