#include <gtest/gtest.h>

#include "app/AppState.h"
#include "app/BalloonText.h"
#include "app/Dpi.h"
#include "app/FailureNotice.h"
#include "app/TrayIcon.h"
#include "base/PathText.h"

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
    EXPECT_EQ(balloon->Title, "解凍できませんでした");
    EXPECT_EQ(balloon->Text, "readme.txt\n見つかりません");
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
    EXPECT_EQ(balloon->Text, "1000 件が失敗しました。最後は\nbroken999.zip\n見つかりません");
    // The next failure starts a new gathering; the mark counts them all until seen.
    EXPECT_TRUE(notice.Add("D:\\x.zip", NotFound()));
    EXPECT_EQ(notice.Tip(), "Kelvane - 失敗 1001 件");
    notice.Seen();
    EXPECT_EQ(notice.Tip(), "Kelvane");
}

// Wine's balloon cut its widest line off at the screen's edge and never wrapped; a path too long for
// the record took the reason's end.
TEST(FailureNoticeTest, ALongReasonEndsUpWholeInLinesThatFitTheBalloon) {
    TExtractOutcome outcome;
    outcome.Failure.Kind = TFailureKind::kNoPlugin;
    outcome.Failure.Skipped = "圧縮形式いろいろ対応プラグイン.spi";
    const std::string reason = outcome.Reason();
    std::string name;
    for (int i = 0; i < 12; ++i)
        name += "とても長い名前の書類 ";
    name += "最後.txt";
    TFailureNotice notice;
    notice.Add("D:\\data\\pack.lzh\\" + name, outcome);
    ShowTrayBalloon(kFailureTitle, notice.TakeBalloon()->Text);

    const std::string info(FieldText(App().Tray.szInfo, sizeof App().Tray.szInfo));
    std::string joined;
    int lines = 0;
    for (size_t start = 0; start <= info.size(); ++lines) {
        size_t end = info.find('\n', start);
        end = end == std::string::npos ? info.size() : end;
        const std::string line = info.substr(start, end - start);
        EXPECT_LE(BalloonLineWidth(line, App().Dpi), Scaled(kBalloonWidth, App().Dpi)) << line;
        joined += line;
        start = end + 1;
    }
    EXPECT_GT(lines, 3) << "Wine's balloon needs the breaks";
    ASSERT_GT(joined.size(), reason.size());
    EXPECT_EQ(joined.substr(joined.size() - reason.size()), reason);
    const std::string source = joined.substr(0, joined.size() - reason.size());
    EXPECT_EQ(source.substr(0, 10), name.substr(0, 10));
    EXPECT_NE(source.find("..."), std::string::npos);
    EXPECT_EQ(source.substr(source.size() - 8), name.substr(name.size() - 8));
    // The title outgrows the lines with blanks, which Wine's balloon may lose at the screen's edge.
    const std::string title(FieldText(App().Tray.szInfoTitle, sizeof App().Tray.szInfoTitle));
    ASSERT_GT(title.size(), std::string(kFailureTitle).size());
    EXPECT_EQ(title.substr(0, sizeof kFailureTitle - 1), kFailureTitle);
    for (size_t i = sizeof kFailureTitle - 1; i + 1 < title.size(); i += 2)
        EXPECT_EQ(title.substr(i, 2), "　");
}

}  // namespace

