#include "base/WideText.h"

#include <windows.h>

bool ExactWide(std::string_view ansi, std::wstring& wide) {
    wide.clear();
    if (ansi.empty())
        return true;
    const int length = static_cast<int>(ansi.size());
    const int count = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), length, nullptr, 0);
    if (count <= 0)
        return false;
    wide.resize(static_cast<size_t>(count));
    return ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), length, wide.data(), count) == count;
}

bool ExactAnsi(std::wstring_view wide, std::string& ansi) {
    ansi.clear();
    if (wide.empty())
        return true;
    const int length = static_cast<int>(wide.size());
    BOOL usedDefault = FALSE;
    const int count =
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr, &usedDefault);
    if (count <= 0 || usedDefault)
        return false;
    ansi.resize(static_cast<size_t>(count));
    return ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, ansi.data(), count, nullptr,
                                 &usedDefault) == count &&
           !usedDefault;
}
