// The destination folder and the rule that names a job's destination file.
#pragma once

#include <windows.h>

#include <string>

#include "engine/DestinationName.h"

// Sets the folder, retargets every waiting job and shows the folder in the title; false (and
// nothing changed) for an empty folder.
bool SetDestinationFolder(HWND window, const std::string& folder);
