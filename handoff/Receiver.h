// The receiving half of the hand-off, for the resident program's window procedure.
#pragma once

#include <windows.h>

#include "handoff/PendingBlocks.h"

// Handles the registered hand-off message: copies the block of the section named after `wParam`
// into `pending` and posts WM_USER (0, 0) to `window`. A missing section, a total length smaller
// than the smallest block of its form or larger than the section, or a failed copy queues and posts nothing.
// True when a block was queued. Never throws; the message's result stays 0.
bool ReceiveHandOff(HWND window, WPARAM wParam, TPendingBlocks& pending) noexcept;
