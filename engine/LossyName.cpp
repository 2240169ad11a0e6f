#include "engine/LossyName.h"

#include <windows.h>

#include "base/WideText.h"
#include "engine/MemberLookup.h"

namespace {

bool IsHighSurrogate(wchar_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsSeparator(wchar_t unit) {
    return unit == L'\\' || unit == L'/';
}

// What the ANSI code page's conversion makes of a character it lacks, read back: its best fit, or the
// default character.
std::wstring BestFit(std::wstring_view character) {
    char ansi[16] = {};
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, character.data(), static_cast<int>(character.size()), ansi,
                                            sizeof ansi, nullptr, nullptr);
    wchar_t back[16] = {};
    const int units = bytes > 0 ? ::MultiByteToWideChar(CP_ACP, 0, ansi, bytes, back, 16) : 0;
    return std::wstring(back, units > 0 ? units : 0);
}

// The code page's default characters, ANSI and Unicode: the same for the whole process.
std::wstring ReadCodePageDefaults() {
    CPINFOEXW info{};
    if (!::GetCPInfoExW(CP_ACP, 0, &info))
        return L"?";
    wchar_t wide[4] = {};
    const int units = ::MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(info.DefaultChar),
                                            info.DefaultChar[1] ? 2 : 1, wide, 4);
    return std::wstring(wide, units > 0 ? units : 0) + info.UnicodeDefaultChar;
}

const std::wstring& CodePageDefaults() {
    static const std::wstring defaults = ReadCodePageDefaults();
    return defaults;
}

}  // namespace

TLossyPattern::TLossyPattern(const std::string& folded) {
    const std::wstring wide = WideFromUtf8(folded);
    for (size_t i = 0; i < wide.size(); ++i) {
        TUnit unit{wide[i], 0, false, {}};
        if (IsHighSurrogate(wide[i]) && i + 1 < wide.size())
            unit.Second = wide[++i];
        std::string ansi;
        const wchar_t whole[] = {unit.First, unit.Second};
        const std::wstring_view character(whole, unit.Second ? 2 : 1);
        unit.Lost = !ExactAnsi(character, ansi);
        if (unit.Lost) {
            // Folded as the listing is: a best fit of é is E there.
            unit.StandIns = WideFromUtf8(FoldedName(ShownUtf8(BestFit(character))));
        }
        Units.push_back(unit);
    }
}

bool TLossyPattern::StandsFor(const TUnit& unit, wchar_t listed) const {
    return listed >= 0x80 || listed == L'?' || listed == L'_' || unit.StandIns.find(listed) != std::wstring::npos ||
           CodePageDefaults().find(listed) != std::wstring::npos;
}

bool TLossyPattern::Matches(const std::string& listed) const {
    const std::wstring name = WideFromUtf8(listed);
    // reach[j]: the first i units of the pattern can make the first j characters of the name.
    std::vector<char> reach(name.size() + 1, 0);
    reach[0] = 1;
    for (const TUnit& unit : Units) {
        std::vector<char> next(name.size() + 1, 0);
        for (size_t j = 0; j < name.size(); ++j) {
            if (!reach[j])
                continue;
            if (!unit.Lost) {
                const bool pair = unit.Second != 0;
                if (name[j] == unit.First && (!pair || (j + 1 < name.size() && name[j + 1] == unit.Second)))
                    next[j + (pair ? 2 : 1)] = 1;
                else if (IsSeparator(unit.First) && IsSeparator(name[j]))
                    next[j + 1] = 1;
                continue;
            }
            for (size_t taken = 1; taken <= 2 && j + taken <= name.size() && !IsSeparator(name[j + taken - 1]) &&
                                   StandsFor(unit, name[j + taken - 1]);
                 ++taken)
                next[j + taken] = 1;
        }
        reach = std::move(next);
    }
    return reach[name.size()] != 0;
}

std::string StandInAnsi(const std::string& utf8) {
    std::string ansi;
    if (AnsiFromUtf8(utf8, ansi))
        return ansi;
    ansi.clear();
    const std::wstring wide = WideFromUtf8(utf8);
    for (size_t i = 0; i < wide.size(); ++i) {
        const size_t length = IsHighSurrogate(wide[i]) && i + 1 < wide.size() ? 2 : 1;
        std::string character;
        ansi += ExactAnsi(std::wstring_view(wide).substr(i, length), character) ? character : "_";
        i += length - 1;
    }
    return ansi;
}
