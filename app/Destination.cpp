#include "app/Destination.h"

#include "app/AppState.h"
#include "base/PathText.h"
#include "jobs/ExtractQueue.h"

namespace {

constexpr size_t kMaxNamePart = 255;
constexpr size_t kDriveRootLength = 3;

}  // namespace

std::string FileNamePart(const std::string& path) {
    const size_t separator = FindLastSeparator(path, ":\\");
    const std::string_view name =
        separator == std::string::npos ? std::string_view(path) : std::string_view(path).substr(separator + 1);
    return std::string(CutAtCharacter(name, kMaxNamePart));
}

std::string DestinationFor(const std::string& folder, const std::string& path) {
    std::string destination = folder;
    if (folder.size() > kDriveRootLength)
        destination += '\\';
    return destination + FileNamePart(path);
}

bool SetDestinationFolder(HWND window, const std::string& folder) {
    if (folder.empty())
        return false;
    AppState& app = App();
    app.DestinationFolder = folder;
    if (app.Queue) {
        for (int i = 0; i < app.Queue->Count(); ++i)
            app.Queue->SetDestination(i, DestinationFor(folder, app.Queue->GetDestination(i)));
    }
    ::InvalidateRect(app.JobList, nullptr, FALSE);
    ::UpdateWindow(app.JobList);
    ::SetWindowTextA(window, ("Kelvane - " + folder).c_str());
    return true;
}
