#include "base/Registry.h"

#include <vector>

#include "base/AnsiPath.h"

UniqueKey OpenKey(HKEY root, const char* subKey, REGSAM access) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, subKey, 0, access, &key) != ERROR_SUCCESS)
        return {};
    return UniqueKey(key);
}

std::optional<std::string> QueryString(HKEY key, const char* name, DWORD maxBytes, bool allowExpand) {
    DWORD type = 0;
    DWORD size = 0;
    if (!key || ::RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (!(type == REG_SZ || (allowExpand && type == REG_EXPAND_SZ)) || size > maxBytes)
        return std::nullopt;
    // The stored bytes need not end in a zero; the extra byte keeps the text terminated.
    std::vector<char> buffer(size + 1, 0);
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::string(FieldText(buffer.data(), size));
}

std::optional<DWORD> QueryDword(HKEY key, const char* name) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!key || ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}
