#include "base/AnsiPath.h"

#include <windows.h>

#include <cstring>

size_t FindLastSeparator(std::string_view path, std::string_view separators) {
    size_t found = std::string_view::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        if (::IsDBCSLeadByte(static_cast<BYTE>(path[i]))) {
            ++i;
            continue;
        }
        if (separators.find(path[i]) != std::string_view::npos)
            found = i;
    }
    return found;
}

size_t CountSeparators(std::string_view path, std::string_view separators) {
    size_t count = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (::IsDBCSLeadByte(static_cast<BYTE>(path[i])))
            ++i;
        else if (separators.find(path[i]) != std::string_view::npos)
            ++count;
    }
    return count;
}

void SplitLastComponent(std::string& path, std::string& last) {
    const size_t mark = FindLastSeparator(path, "\\");
    if (mark == std::string::npos) {
        last = std::move(path);
        path.clear();
        return;
    }
    last.assign(path, mark + 1);
    path.resize(mark);
}

std::string WithSeparator(std::string_view path, char separator) {
    std::string result(path);
    for (size_t i = 0; i < result.size(); ++i) {
        if (::IsDBCSLeadByte(static_cast<BYTE>(result[i])))
            ++i;
        else if (result[i] == '\\' || result[i] == '/')
            result[i] = separator;
    }
    return result;
}

std::string_view CutAtCharacter(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    size_t end = 0;
    for (;;) {
        const size_t next = end + (::IsDBCSLeadByte(static_cast<BYTE>(text[end])) ? 2 : 1);
        if (next > maxBytes)
            return text.substr(0, end);
        end = next;
    }
}

std::string_view FieldText(const char* field, size_t fieldSize) {
    const void* zero = std::memchr(field, 0, fieldSize);
    return {field, zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : fieldSize};
}

std::string FolderWithSeparator(std::string_view folder) {
    std::string path(folder);
    if (!path.empty() && FindLastSeparator(path, "\\") != path.size() - 1)
        path += '\\';
    return path;
}
