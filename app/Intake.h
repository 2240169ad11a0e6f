// Jobs enter the queue from files dropped on the main window and from the shell's drop handler, a
// whole drop in one step.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/AppState.h"

// A drop's files, let go once read.
using UniqueDrop = Unique<NullIsEmpty<HDROP, ::DragFinish>>;

// A drop's paths, as they came.
std::vector<std::wstring> DroppedPaths(HDROP drop);
void AcceptDroppedFiles(HWND window, TMessage& message);
void AcceptHandOff(HWND window, TMessage& message);
// Members picked in the browser (UTF-8 paths), for folder, as a hand-off brings them.
void QueueMembers(HWND window, const std::vector<std::string>& paths, const std::string& folder);
