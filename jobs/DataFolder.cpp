#include "jobs/DataFolder.h"

#include <windows.h>

#include <string_view>

#include "base/WideText.h"
#include "engine/Temporary.h"

std::string UserDataFolder() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
    std::string utf8;
    const std::string base = length > 0 && length < MAX_PATH && ExactUtf8(std::wstring_view(folder, length), utf8)
                                 ? utf8 + "\\"
                                 : UserTemporaryFolder();
    return base + "Kelvane";
}

std::string UserDataFile(const char* name) {
    return UserDataFolder() + "\\" + name;
}
