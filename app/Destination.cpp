#include "app/Destination.h"

#include "app/AppState.h"
#include "base/WideText.h"
#include "jobs/ExtractQueue.h"

bool SetDestinationFolder(HWND window, const std::string& folder) {
    if (folder.empty())
        return false;
    AppState& app = App();
    app.DestinationFolder = folder;
    if (app.Queue)
        app.Queue->Retarget([&](const std::string& destination) { return DestinationFor(folder, destination); });
    ::InvalidateRect(app.JobList, nullptr, FALSE);
    ::UpdateWindow(app.JobList);
    ::SetWindowTextW(window, WideFromUtf8("Kelvane - " + folder).c_str());
    return true;
}
