// Starting a program that inherits exactly the handles it is given. They are inheritable only for
// the moment of its start, under one lock of this process, so that no other start of ours can take
// them along: every start of a process with inheritance goes through here.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/Owned.h"

struct TChildProcess {
    UniqueHandle Process;
    DWORD Id = 0;
    DWORD Error = 0;  // why nothing was started
};

// Nothing is started when the list of handles cannot be given: the child would then inherit every
// inheritable handle of this process.
TChildProcess StartInheriting(const std::string& program,
                              std::string commandLine,
                              const std::vector<HANDLE>& handles,
                              DWORD flags);

// The handle that a value names, given on a command line or in a message, when it is an open handle
// of this process; null when not.
HANDLE HandleOfValue(uint64_t value);
