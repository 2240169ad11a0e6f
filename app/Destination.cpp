#include "app/Destination.h"

#include "app/AppState.h"
#include "base/PathText.h"
#include "base/WideText.h"
#include "jobs/ExtractQueue.h"

namespace {

constexpr size_t kMaxNamePart = 255;
constexpr size_t kDriveRootLength = 3;

// The head of a name that takes at most kMaxNamePart bytes in the ANSI code page, so that a name the
// code page has is cut exactly where it always was; a character the code page lacks counts as two.
// No character takes more bytes there than in UTF-8, so a short enough name is never looked at.
std::string_view CutAsAnsi(std::string_view name) {
    if (name.size() <= kMaxNamePart)
        return name;
    size_t bytes = 0;
    size_t kept = 0;
    for (size_t at = 0; at < name.size();) {
        const std::string_view character = name.substr(at, CharacterLength(name, at));
        std::string ansi;
        bytes += AnsiFromUtf8(character, ansi) ? ansi.size() : 2;
        if (bytes > kMaxNamePart)
            break;
        at += character.size();
        kept = at;
    }
    return name.substr(0, kept);
}

}  // namespace

std::string FileNamePart(const std::string& path) {
    const size_t separator = FindLastSeparator(path, ":\\");
    const std::string_view name =
        separator == std::string::npos ? std::string_view(path) : std::string_view(path).substr(separator + 1);
    return std::string(CutAsAnsi(name));
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
    if (app.Queue)
        app.Queue->Retarget([&](const std::string& destination) { return DestinationFor(folder, destination); });
    ::InvalidateRect(app.JobList, nullptr, FALSE);
    ::UpdateWindow(app.JobList);
    ::SetWindowTextW(window, WideFromUtf8("Kelvane - " + folder).c_str());
    return true;
}
