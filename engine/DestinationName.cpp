#include "engine/DestinationName.h"

#include <windows.h>

#include <array>

#include "base/PathText.h"
#include "base/WideText.h"

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

bool SameAscii(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
        if (c != upper[i])
            return false;
    }
    return true;
}

// Windows opens these as devices in any folder, with any extension, and with spaces before the dot.
bool IsDeviceName(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.remove_suffix(1);
    static constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const std::string_view device : kDevices) {
        if (SameAscii(stem, device))
            return true;
    }
    if (stem.size() < 4 || !(SameAscii(stem.substr(0, 3), "COM") || SameAscii(stem.substr(0, 3), "LPT")))
        return false;
    // A digit, or the superscripts one to three (UTF-8), which Windows takes for digits there.
    const std::string_view number = stem.substr(3);
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace

std::string FileNamePart(const std::string& path) {
    const size_t separator = FindLastSeparator(path, ":\\/");
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

bool IsFileName(std::string_view name) {
    if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ')
        return false;
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos)
            return false;
    }
    return !IsDeviceName(name);
}

std::string FullPath(const std::string& path) {
    const std::wstring wide = WideFromUtf8(path);
    const DWORD length = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (length == 0)
        return {};
    std::wstring full(length, L'\0');
    const DWORD written = ::GetFullPathNameW(wide.c_str(), length, full.data(), nullptr);
    std::string utf8;
    if (written == 0 || written >= length)
        return {};
    full.resize(written);
    return ExactUtf8(full, utf8) ? utf8 : std::string();
}

bool LiesDirectlyInFolder(const std::string& destPath) {
    size_t start = FindLastSeparator(destPath, "\\");
    if (start == std::string::npos && destPath.size() >= 2 && destPath[1] == ':')
        start = 1;
    const std::string folder = start == std::string::npos ? std::string(".") : destPath.substr(0, start + 1);
    const std::string name = start == std::string::npos ? destPath : destPath.substr(start + 1);
    if (!IsFileName(name))
        return false;
    const std::string full = FullPath(destPath);
    const std::string fullFolder = FullPath(folder);
    return !full.empty() && !fullFolder.empty() && full == FolderWithSeparator(fullFolder) + name;
}
