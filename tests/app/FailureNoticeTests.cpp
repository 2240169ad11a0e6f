#include <gtest/gtest.h>

#include "app/FailureNotice.h"

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

}  // namespace
