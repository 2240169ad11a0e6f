// Hand-offs of this process wait here, oldest first, for one sender thread of the module's own, so
// that the shell's thread never waits for the resident program's window.
#pragma once

#include <string>
#include <vector>

// Queues the hand-off of `folder` and `paths` behind this process's earlier ones and starts the
// sender thread when none runs. When no earlier one waits, also waits a short moment for this one
// to be taken, handling the messages sent to this thread meanwhile. A thread that cannot be started
// is silent, as a failed send is: nothing is queued. Throws std::bad_alloc.
void QueueHandOff(std::wstring folder, std::vector<std::wstring> paths);

// Whether a queued hand-off has been neither taken nor given up: the module must stay loaded.
bool HandOffsPending() noexcept;
