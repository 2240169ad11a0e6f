#include "base/SystemPath.h"

#include <windows.h>

#include <algorithm>

#include "base/WideText.h"

namespace {

// CreateDirectory leaves room for an 8.3 name below a folder: 248 characters are its limit.
constexpr size_t kLongFrom = MAX_PATH - 12;

}  // namespace

std::wstring SystemPath(std::string_view utf8) {
    std::wstring path = WideFromUtf8(utf8);
    if (path.size() < kLongFrom || path.starts_with(L"\\\\?\\"))
        return path;
    // The \\?\ form is taken as it is: "/" is no separator there.
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (path.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + path.substr(2);
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\')
        return L"\\\\?\\" + path;
    return path;
}

bool SameName(std::string_view one, std::string_view other) {
    const std::wstring a = WideFromUtf8(one);
    const std::wstring b = WideFromUtf8(other);
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}
