#include "base/Registry.h"

#include <vector>

#include "base/PathText.h"

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

namespace {

// Creates the key with any missing parents, or opens it, for writing.
UniqueKey CreateForWriting(HKEY root, const std::string& subKey, REGSAM view) {
    HKEY created = nullptr;
    if (::RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | view, nullptr,
                          &created, nullptr) != ERROR_SUCCESS)
        return {};
    return UniqueKey(created);
}

bool WriteValue(HKEY root,
                const std::string& subKey,
                const char* name,
                DWORD type,
                const void* data,
                DWORD size,
                REGSAM view) {
    UniqueKey key = CreateForWriting(root, subKey, view);
    return key && ::RegSetValueExA(key.Get(), name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

}  // namespace

bool WriteString(HKEY root, const std::string& subKey, const char* name, const std::string& text, REGSAM view) {
    return WriteValue(root, subKey, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1), view);
}

bool WriteDword(HKEY root, const std::string& subKey, const char* name, DWORD value, REGSAM view) {
    return WriteValue(root, subKey, name, REG_DWORD, &value, sizeof value, view);
}

// RegDeleteKeyA always works on the process's own view; only the Ex form reaches the other one.
bool DeleteKey(HKEY root, const std::string& subKey, REGSAM view) {
    return ::RegDeleteKeyExA(root, subKey.c_str(), view, 0) == ERROR_SUCCESS;
}
