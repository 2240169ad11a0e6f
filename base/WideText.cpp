#include "base/WideText.h"

#include <windows.h>

namespace {

bool Widen(std::string_view text, DWORD flags, std::wstring& wide, UINT codePage = CP_ACP) {
    wide.clear();
    if (text.empty())
        return true;
    const int length = static_cast<int>(text.size());
    const int count = ::MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    if (count <= 0)
        return false;
    wide.resize(static_cast<size_t>(count));
    return ::MultiByteToWideChar(codePage, flags, text.data(), length, wide.data(), count) == count;
}

// UTF-8 knows every character; only a lone surrogate has no form.
bool ToUtf8(std::wstring_view wide, DWORD flags, std::string& utf8) {
    utf8.clear();
    if (wide.empty())
        return true;
    const int length = static_cast<int>(wide.size());
    const int count = ::WideCharToMultiByte(CP_UTF8, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (count <= 0)
        return false;
    utf8.resize(static_cast<size_t>(count));
    return ::WideCharToMultiByte(CP_UTF8, flags, wide.data(), length, utf8.data(), count, nullptr, nullptr) == count;
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

bool ExactUtf8(std::wstring_view wide, std::string& utf8) {
    return !HasLoneSurrogate(wide) && ToUtf8(wide, 0, utf8);
}

bool ExactWideFromUtf8(std::string_view utf8, std::wstring& wide) {
    return Widen(utf8, MB_ERR_INVALID_CHARS, wide, CP_UTF8);
}

std::wstring WideFromUtf8(std::string_view utf8) {
    std::wstring wide;
    Widen(utf8, 0, wide, CP_UTF8);
    return wide;
}

bool AnsiFromUtf8(std::string_view utf8, std::string& ansi) {
    std::wstring wide;
    return ExactWideFromUtf8(utf8, wide) && ExactAnsi(wide, ansi);
}

bool Utf8FromAnsi(std::string_view ansi, std::string& utf8) {
    std::wstring wide;
    return ExactWide(ansi, wide) && ToUtf8(wide, 0, utf8);
}

std::string ShownUtf8(std::wstring_view wide) {
    std::string utf8;
    ToUtf8(wide, 0, utf8);
    return utf8;
}

std::string ShownAnsiFromUtf8(std::string_view utf8) {
    return ShownAnsi(WideFromUtf8(utf8));
}

std::string Utf8Text(std::string_view cp932) {
    std::wstring wide;
    std::string utf8;
    Widen(cp932, 0, wide, 932);
    ToUtf8(wide, 0, utf8);
    return utf8;
}
