// Asks what each plug-in file is, for the options dialog and kelvane-extract: in hosts of its own,
// never the job hosts (a dialog must not wait behind a long job) nor this process. Each question loads
// one plug-in, asks its texts and unloads it; a plug-in that crashes or hangs meanwhile costs its own
// answer and is counted against nothing, and the next question goes to a fresh host.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "jobs/PluginHost.h"
#include "jobs/PluginStates.h"

class TPluginInquiry {
public:
    // Asks about the plug-ins of folder, in the hosts beside the program in programFolder.
    TPluginInquiry(const std::string& programFolder, const std::string& folder);

    // Fills the row's facts and marks it answered.
    void Ask(TPluginRow& row);
    // Runs the plug-in's settings dialog, owned by owner, and returns once it is closed; false when the
    // plug-in has none, or crashed.
    bool Configure(const TPluginRow& row, HWND owner);
    // Ends the hosts now: a question being asked returns at once, unanswered. Safe from any thread.
    void Terminate();

private:
    TPluginHost& HostFor(const TPluginRow& row);

    TPluginHost Host32_;
    std::unique_ptr<TPluginHost> Host64_;  // null where Windows runs no 64-bit programs
};
