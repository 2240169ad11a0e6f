// Plug-ins with ANSI entry points only list a name the code page lacks in a lossy form of their own:
// "?" or a best fit for each missing character, or stranger things ("_" and a stray byte). Such a
// member is never asked for by a lossy name; it is taken from the listing only when exactly one
// member's name could be the lossy form of the user's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TLossyPattern {
public:
    // folded: the user's name as FoldedName gives it.
    explicit TLossyPattern(const std::string& folded);
    // Whether listed (folded likewise) could be the name a plug-in made of the user's: every
    // character the code page has is there as it is, every other stands for one or two characters
    // that a conversion into the code page can make of it: "?", "_", the code page's default
    // character, its best fit, or what bytes of 0x80 and above read as. An ASCII letter stands for
    // no other letter, so "ütü" is never "ete".
    bool Matches(const std::string& listed) const;

private:
    struct TUnit {
        wchar_t First;
        wchar_t Second;  // the low surrogate of a pair, else 0
        bool Lost;       // the code page lacks it
        std::wstring StandIns;  // ASCII a lost character may come back as, beside "?" and "_"
    };
    bool StandsFor(const TUnit& unit, wchar_t listed) const;

    std::vector<TUnit> Units;
};

// A name in the code page for a plug-in that is only told the kind of a file: "_" for each character
// the code page lacks.
std::string StandInAnsi(const std::string& utf8);
