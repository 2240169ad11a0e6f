#include <gtest/gtest.h>

#include "base/PathText.h"
#include "base/WideText.h"
#include "engine/DestinationName.h"

namespace {

std::pair<std::string, std::string> Split(std::string path, TTextForm form = TTextForm::kAnsi) {
    std::string last;
    SplitLastComponent(path, last, form);
    return {path, last};
}

// A best fit would make "café" the "cafe" beside it; a lone surrogate names nothing.
TEST(ExactAnsi, TakesOnlyNamesThatConvertExactly) {
    std::string ansi;
    EXPECT_TRUE(ExactAnsi(L"D:\\ソフト.lzh\\表.txt", ansi));
    EXPECT_EQ(ansi, "D:\\ソフト.lzh\\表.txt");
    for (const wchar_t* name : {L"caf\u00e9.txt", L"\ud55c\uad6d.txt", L"\U0001F600", L"a\xD800.txt", L"a\xDC00",
                                L"\xD800"})
        EXPECT_FALSE(ExactAnsi(name, ansi)) << ShownAnsi(name);
    EXPECT_EQ(ShownAnsi(L"caf\u00e9.txt"), "caf?.txt");
    EXPECT_EQ(WideFromAnsi("\x95\x5C.txt"), L"\u8868.txt");
}

TEST(SplitLastComponent, TakesTheLastComponentOff) {
    EXPECT_EQ(Split("D:\\a\\b.lzh"), std::make_pair(std::string("D:\\a"), std::string("b.lzh")));
    EXPECT_EQ(Split("D:\\a\\"), std::make_pair(std::string("D:\\a"), std::string("")));
    EXPECT_EQ(Split("name.zip"), std::make_pair(std::string(""), std::string("name.zip")));
    EXPECT_EQ(Split(""), std::make_pair(std::string(""), std::string("")));
}

// 表 is 95 5C in code page 932: its trail byte must never split a path.
TEST(SplitLastComponent, NeverSplitsInsideADoubleByteCharacter) {
    EXPECT_EQ(Split("D:\\表\\表.txt"), std::make_pair(std::string("D:\\表"), std::string("表.txt")));
    EXPECT_EQ(Split("表表"), std::make_pair(std::string(""), std::string("表表")));
    EXPECT_EQ(FindLastSeparator("a:表", ":\\", TTextForm::kAnsi), 1u);
}

// In UTF-8 "あ" is E3 81 82, and 82 would be taken for a code page 932 lead byte: names are scanned
// by their own form.
TEST(SplitLastComponent, TakesUtf8NamesByTheirOwnCharacters) {
    const std::string name = "D:\\\xE3\x81\x82\\\xE3\x81\x82.txt";
    EXPECT_EQ(Split(name, TTextForm::kUtf8), std::make_pair(std::string("D:\\\xE3\x81\x82"), std::string("\xE3\x81\x82.txt")));
    EXPECT_EQ(CutAtCharacter("\xE3\x81\x82\xE3\x81\x82", 5), "\xE3\x81\x82");
}

// ソ is 83 5C: only whole characters are separators, whichever way they are turned.
TEST(WithSeparator, TurnsEitherSeparatorButNoTrailByte) {
    EXPECT_EQ(WithSeparator("表\\ソ/a.txt", '/', TTextForm::kAnsi), "表/ソ/a.txt");
    EXPECT_EQ(WithSeparator("表/ソ\\a.txt", '\\', TTextForm::kAnsi), "表\\ソ\\a.txt");
}

// Names that Windows would make into another file, or into none, or into a device.
TEST(IsFileName, RefusesWhatMakesNoFileOfThatName) {
    for (const char* name : {"", ".", "..", "a.", "a ", "a/b", "a\\b", "a:b", "a*", "a?", "a|b", "a\"b", "<a>", "a\tb",
                             "CON", "con", "NUL.txt", "Aux.tar.gz", "COM1", "lpt9.log", "CON .txt", "CONIN$",
                             "COM\xC2\xB9"})
        EXPECT_FALSE(IsFileName(name)) << name;
    for (const char* name : {"a", ".profile", "a.b", "CONSOLE", "COM10", "NULL.txt", "LPT", "\xE8\xA1\xA8.txt", "a b"})
        EXPECT_TRUE(IsFileName(name)) << name;
}

TEST(LiesDirectlyInFolder, TakesOnlyAUsableNameInTheFolderBeforeIt) {
    EXPECT_TRUE(LiesDirectlyInFolder("C:\\out\\sub\\evil.txt"));
    EXPECT_TRUE(LiesDirectlyInFolder("C:\\out\\\\a.txt"));
    EXPECT_TRUE(LiesDirectlyInFolder("C:\\a.txt"));
    EXPECT_TRUE(LiesDirectlyInFolder("C:\\out\\..\\a.txt"));
    for (const char* path : {"C:\\out\\sub\\x/../../evil.txt", "C:\\out\\sub\\..", "C:\\out\\CON", "C:\\out\\a.",
                             "C:\\out\\", "C:/out/a.txt", "C:\\out\\a.txt:stream"})
        EXPECT_FALSE(LiesDirectlyInFolder(path)) << path;
}

TEST(FieldText, StopsAtTheFirstZeroOrTheFieldEnd) {
    const char field[4] = {'a', 'b', 0, 'c'};
    EXPECT_EQ(FieldText(field, sizeof field), "ab");
    const char full[3] = {'x', 'y', 'z'};
    EXPECT_EQ(FieldText(full, sizeof full), "xyz");
}

}  // namespace
