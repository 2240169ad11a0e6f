#include "base/Registry.h"

#include <iterator>
#include <vector>

#include "base/WideText.h"

namespace {

// Key and value names are ASCII in practice; they go through the same conversion as any name.
std::wstring Wide(const char* text) {
    return text ? WideFromUtf8(text) : std::wstring();
}

}  // namespace

UniqueKey OpenKey(HKEY root, const char* subKey, REGSAM access) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, Wide(subKey).c_str(), 0, access, &key) != ERROR_SUCCESS)
        return {};
    return UniqueKey(key);
}

std::optional<std::string> QueryString(HKEY key, const char* name, DWORD maxChars, bool allowExpand) {
    const std::wstring valueName = Wide(name);
    DWORD type = 0;
    DWORD size = 0;
    if (!key || ::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (!(type == REG_SZ || (allowExpand && type == REG_EXPAND_SZ)) || size > maxChars * sizeof(wchar_t))
        return std::nullopt;
    // The stored bytes need not end in a zero, nor be a whole number of units; the extra unit keeps
    // the text terminated.
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, 0);
    if (::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    const std::wstring_view stored(buffer.data(), size / sizeof(wchar_t));
    std::string text;
    // A value with a surrogate without its pair names nothing the programs could use.
    if (!ExactUtf8(stored.substr(0, stored.find(L'\0')), text))
        return std::nullopt;
    return text;
}

std::optional<DWORD> QueryDword(HKEY key, const char* name) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!key || ::RegQueryValueExW(key, Wide(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
                    ERROR_SUCCESS)
        return std::nullopt;
    if (type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

namespace {

// Creates the key with any missing parents, or opens it, for writing.
UniqueKey CreateForWriting(HKEY root, const std::string& subKey, REGSAM view) {
    HKEY created = nullptr;
    if (::RegCreateKeyExW(root, WideFromUtf8(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | view,
                          nullptr, &created, nullptr) != ERROR_SUCCESS)
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
    return key && ::RegSetValueExW(key.Get(), Wide(name).c_str(), 0, type, static_cast<const BYTE*>(data), size) ==
                      ERROR_SUCCESS;
}

}  // namespace

bool WriteString(HKEY root, const std::string& subKey, const char* name, const std::string& text, REGSAM view) {
    const std::wstring wide = WideFromUtf8(text);
    return WriteValue(root, subKey, name, REG_SZ, wide.c_str(), static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)),
                      view);
}

bool WriteDword(HKEY root, const std::string& subKey, const char* name, DWORD value, REGSAM view) {
    return WriteValue(root, subKey, name, REG_DWORD, &value, sizeof value, view);
}

bool DeleteValue(HKEY root, const std::string& subKey, const char* name) {
    return ::RegDeleteKeyValueW(root, WideFromUtf8(subKey).c_str(), WideFromUtf8(name).c_str()) == ERROR_SUCCESS;
}

// RegDeleteKeyW always works on the process's own view; only the Ex form reaches the other one.
bool DeleteKey(HKEY root, const std::string& subKey, REGSAM view) {
    return ::RegDeleteKeyExW(root, WideFromUtf8(subKey).c_str(), view, 0) == ERROR_SUCCESS;
}

bool DeleteTree(HKEY root, const std::string& subKey) {
    return ::RegDeleteTreeW(root, WideFromUtf8(subKey).c_str()) == ERROR_SUCCESS;
}

TDwordValues DwordValues(HKEY key) {
    TDwordValues values;
    for (DWORD index = 0; key; ++index) {
        // Value names are at most 16,383 characters.
        wchar_t name[16384];
        DWORD nameLength = std::size(name);
        DWORD type = 0;
        DWORD value = 0;
        DWORD size = sizeof value;
        const LONG status = ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(&value), &size);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        std::string utf8;
        if (status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value &&
            ExactUtf8(std::wstring_view(name, nameLength), utf8))
            values.emplace_back(std::move(utf8), value);
    }
    return values;
}

bool WriteVolatileDwords(HKEY root, const std::string& subKey, const TDwordValues& values) {
    DeleteTree(root, subKey);
    // Parents made with the key would be volatile too, and no lasting key could ever go under them.
    const size_t parent = subKey.rfind('\\');
    if (parent != std::string::npos && !CreateForWriting(root, subKey.substr(0, parent), 0))
        return false;
    HKEY created = nullptr;
    if (::RegCreateKeyExW(root, WideFromUtf8(subKey).c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr,
                          &created, nullptr) != ERROR_SUCCESS)
        return false;
    const UniqueKey key(created);
    bool written = true;
    for (const auto& [name, value] : values)
        written = ::RegSetValueExW(key.Get(), WideFromUtf8(name).c_str(), 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&value), sizeof value) == ERROR_SUCCESS && written;
    return written;
}
