#include "base/WideText.h"

#include <windows.h>

namespace {

bool Widen(std::string_view ansi, DWORD flags, std::wstring& wide) {
    wide.clear();
    if (ansi.empty())
        return true;
    const int length = static_cast<int>(ansi.size());
    const int count = ::MultiByteToWideChar(CP_ACP, flags, ansi.data(), length, nullptr, 0);
    if (count <= 0)
        return false;
    wide.resize(static_cast<size_t>(count));
    return ::MultiByteToWideChar(CP_ACP, flags, ansi.data(), length, wide.data(), count) == count;
}

// Never with a best fit: a character the code page lacks becomes the default character, and
// usedDefault says so.
bool Narrow(std::wstring_view wide, std::string& ansi, BOOL& usedDefault) {
    ansi.clear();
    usedDefault = FALSE;
    if (wide.empty())
        return true;
    const int length = static_cast<int>(wide.size());
    const int count =
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr, &usedDefault);
    if (count <= 0)
        return false;
    ansi.resize(static_cast<size_t>(count));
    return ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, ansi.data(), count, nullptr,
                                 &usedDefault) == count;
}

bool HasLoneSurrogate(std::wstring_view wide) {
    for (size_t i = 0; i < wide.size(); ++i) {
        const wchar_t unit = wide[i];
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            return true;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 == wide.size() || wide[i + 1] < 0xDC00 || wide[i + 1] > 0xDFFF)
                return true;
            ++i;
        }
    }
    return false;
}

}  // namespace

bool ExactWide(std::string_view ansi, std::wstring& wide) {
    return Widen(ansi, MB_ERR_INVALID_CHARS, wide);
}

bool ExactAnsi(std::wstring_view wide, std::string& ansi) {
    // The code page's table decides for characters; a lone surrogate is no character at all.
    BOOL usedDefault = FALSE;
    return !HasLoneSurrogate(wide) && Narrow(wide, ansi, usedDefault) && !usedDefault;
}

std::string ShownAnsi(std::wstring_view wide) {
    std::string ansi;
    BOOL usedDefault = FALSE;
    Narrow(wide, ansi, usedDefault);
    return ansi;
}

std::wstring WideFromAnsi(std::string_view ansi) {
    std::wstring wide;
    Widen(ansi, 0, wide);
    return wide;
}
