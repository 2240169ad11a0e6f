#include <gtest/gtest.h>

#include "app/AppState.h"
#include "app/BalloonText.h"
#include "app/Dpi.h"
#include "app/FailureNotice.h"
#include "app/TrayIcon.h"
#include "base/WideText.h"

namespace {

TExtractOutcome NotFound() {
    TExtractOutcome outcome;
    outcome.Failure.Kind = TFailureKind::kNotFound;
    return outcome;
}

TEST(FailureNoticeTest, OneFailureIsOneBalloonWithTheNameAndTheReason) {
    TFailureNotice notice;
    EXPECT_FALSE(notice.TakeBalloon().has_value()) << "nothing failed, nothing to show";
    EXPECT_TRUE(notice.Add("D:\\a.zip\\docs\\readme.txt", NotFound()));
    const auto balloon = notice.TakeBalloon();
    ASSERT_TRUE(balloon.has_value());
    EXPECT_EQ(balloon->Title, Utf8Text("解凍できませんでした"));
    EXPECT_EQ(balloon->Text, "readme.txt\n" + NotFound().Reason());
    EXPECT_FALSE(notice.TakeBalloon().has_value());
}

TEST(FailureNoticeTest, AThousandFailuresInARowAreOneBalloon) {
    TFailureNotice notice;
    int gatherings = 0;
    for (int i = 0; i < 1000; ++i)
        gatherings += notice.Add("D:\\broken" + std::to_string(i) + ".zip", NotFound());
    EXPECT_EQ(gatherings, 1);
    const auto balloon = notice.TakeBalloon();
    ASSERT_TRUE(balloon.has_value());
    EXPECT_EQ(balloon->Text,
              Utf8Text("1000 件が失敗しました。最後は\n") + "broken999.zip\n" + NotFound().Reason());
    // The next failure starts a new gathering; the mark counts them all until seen.
    EXPECT_TRUE(notice.Add("D:\\x.zip", NotFound()));
    EXPECT_EQ(notice.Tip(), Utf8Text("Kelvane - 失敗 1001 件"));
    notice.Seen();
    EXPECT_EQ(notice.Tip(), "Kelvane");
}

// Wine's balloon cut its widest line off at the screen's edge and never wrapped; a path too long for
// the record took the reason's end.
TEST(FailureNoticeTest, ALongReasonEndsUpWholeInLinesThatFitTheBalloon) {
    TExtractOutcome outcome;
    outcome.Failure.Kind = TFailureKind::kNoPlugin;
    outcome.Failure.Skipped = "圧縮形式いろいろ対応プラグイン.spi";
    const std::wstring reason = WideFromUtf8(outcome.Reason());
    std::string cp932;
    // Longer than the record's 256 units: the wide field holds twice the characters the ANSI one did.
    for (int i = 0; i < 24; ++i)
        cp932 += "とても長い名前の書類 ";
    cp932 += "最後.txt";
    const std::wstring name = WideFromUtf8(Utf8Text(cp932));
    TFailureNotice notice;
    notice.Add(Utf8Text("D:\\data\\pack.lzh\\" + cp932), outcome);
    ShowTrayBalloon(Utf8Text(kFailureTitle), notice.TakeBalloon()->Text);

    const std::wstring info(App().Tray.szInfo);
    std::wstring joined;
    int lines = 0;
    for (size_t start = 0; start <= info.size(); ++lines) {
        size_t end = info.find(L'\n', start);
        end = end == std::wstring::npos ? info.size() : end;
        const std::wstring line = info.substr(start, end - start);
        EXPECT_LE(BalloonLineWidth(line, App().Dpi), Scaled(kBalloonWidth, App().Dpi)) << ShownAnsi(line);
        joined += line;
        start = end + 1;
    }
    EXPECT_GT(lines, 3) << "Wine's balloon needs the breaks";
    ASSERT_GT(joined.size(), reason.size());
    EXPECT_EQ(joined.substr(joined.size() - reason.size()), reason);
    const std::wstring source = joined.substr(0, joined.size() - reason.size());
    EXPECT_EQ(source.substr(0, 5), name.substr(0, 5));
    EXPECT_NE(source.find(L"..."), std::wstring::npos);
    EXPECT_EQ(source.substr(source.size() - 6), name.substr(name.size() - 6));
    // The title outgrows the lines with blanks, which Wine's balloon may lose at the screen's edge.
    const std::wstring title(App().Tray.szInfoTitle);
    const std::wstring failureTitle = WideFromUtf8(Utf8Text(kFailureTitle));
    ASSERT_GT(title.size(), failureTitle.size());
    EXPECT_EQ(title.substr(0, failureTitle.size()), failureTitle);
    for (size_t i = failureTitle.size(); i < title.size(); ++i)
        EXPECT_EQ(title[i], L'\u3000');
}

}  // namespace

