#include "base/PathText.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

size_t CharacterLength(std::string_view text, size_t i, TTextForm form) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 1;
    if (form == TTextForm::kAnsi)
        length = ::IsDBCSLeadByte(lead) ? 2 : 1;
    else if (lead >= 0xF0)
        length = 4;
    else if (lead >= 0xE0)
        length = 3;
    else if (lead >= 0xC0)
        length = 2;
    return std::min(length, text.size() - i);
}

size_t FindLastSeparator(std::string_view path, std::string_view separators, TTextForm form) {
    size_t found = std::string_view::npos;
    for (size_t i = 0; i < path.size(); i += CharacterLength(path, i, form)) {
        if (separators.find(path[i]) != std::string_view::npos)
            found = i;
    }
    return found;
}

size_t CountSeparators(std::string_view path, std::string_view separators, TTextForm form) {
    size_t count = 0;
    for (size_t i = 0; i < path.size(); i += CharacterLength(path, i, form)) {
        if (separators.find(path[i]) != std::string_view::npos)
            ++count;
    }
    return count;
}

void SplitLastComponent(std::string& path, std::string& last, TTextForm form) {
    const size_t mark = FindLastSeparator(path, "\\", form);
    if (mark == std::string::npos) {
        last = std::move(path);
        path.clear();
        return;
    }
    last.assign(path, mark + 1);
    path.resize(mark);
}

std::string WithSeparator(std::string_view path, char separator, TTextForm form) {
    std::string result(path);
    for (size_t i = 0; i < result.size(); i += CharacterLength(result, i, form)) {
        if (result[i] == '\\' || result[i] == '/')
            result[i] = separator;
    }
    return result;
}

std::string_view CutAtCharacter(std::string_view text, size_t maxBytes, TTextForm form) {
    if (text.size() <= maxBytes)
        return text;
    size_t end = 0;
    for (;;) {
        const size_t next = end + CharacterLength(text, end, form);
        if (next > maxBytes)
            return text.substr(0, end);
        end = next;
    }
}

std::string_view FieldText(const char* field, size_t fieldSize) {
    const void* zero = std::memchr(field, 0, fieldSize);
    return {field, zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : fieldSize};
}

std::string FolderWithSeparator(std::string_view folder, TTextForm form) {
    std::string path(folder);
    if (!path.empty() && FindLastSeparator(path, "\\", form) != path.size() - 1)
        path += '\\';
    return path;
}

std::string FolderShown(std::string_view folder) {
    std::string shown(folder);
    while (shown.size() > 3 && (shown.back() == '\\' || shown.back() == '/'))
        shown.pop_back();
    return shown;
}
