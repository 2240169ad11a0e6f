// Progress reaches the caller level by level, clamped whatever plug-ins report, and a cancel stops the
// extraction soon, leaving nothing behind.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/Archive.h"
#include "engine/PluginList.h"
#include "engine/Progress.h"
#include "tests/engine/TestEnv.h"

namespace {

struct TReport {
    int Level;
    int Levels;
    double Fraction;
};

// Keeps every report. Cancels once level CancelAt reports progress; with 0, from the start.
class TRecorder final : public TProgress {
public:
    explicit TRecorder(int cancelAt = -1) : CancelAt(cancelAt), Cancel(cancelAt == 0) {}
    void Report(int level, int levels, double fraction) override {
        Reports.push_back({level, levels, fraction});
        Cancel = Cancel || (level == CancelAt && fraction > 0);
    }
    bool Canceled() const override { return Cancel; }

    // Each (level, levels) as it was first reported.
    std::vector<std::pair<int, int>> Levels() const {
        std::vector<std::pair<int, int>> levels;
        for (const TReport& report : Reports) {
            if (levels.empty() || levels.back() != std::make_pair(report.Level, report.Levels))
                levels.emplace_back(report.Level, report.Levels);
        }
        return levels;
    }
    std::vector<double> Fractions(int level) const {
        std::vector<double> fractions;
        for (const TReport& report : Reports) {
            if (report.Level == level)
                fractions.push_back(report.Fraction);
        }
        return fractions;
    }
    // Levels rise one at a time, totals never rise nor fall below the level, and within a level the
    // fraction stays in [0, 1] and never falls.
    ::testing::AssertionResult Sound() const {
        for (size_t i = 0; i < Reports.size(); ++i) {
            const TReport& now = Reports[i];
            const TReport before = i > 0 ? Reports[i - 1] : TReport{now.Level, now.Levels, 0};
            const bool sameLevel = now.Level == before.Level;
            if ((i == 0 ? now.Level != 1 : !sameLevel && now.Level != before.Level + 1) || now.Levels < now.Level ||
                now.Levels > before.Levels || now.Fraction < 0 || now.Fraction > 1 ||
                (sameLevel && now.Fraction < before.Fraction))
                return ::testing::AssertionFailure()
                       << "report " << i << ": level " << now.Level << " of " << now.Levels << ", " << now.Fraction;
        }
        return ::testing::AssertionSuccess();
    }

    std::vector<TReport> Reports;
    int CancelAt;
    bool Cancel;
};

class ProgressTest : public ::testing::Test {
protected:
    void UsePlugins(const std::string& folder) {
        plugins.SetFolder(folder);
        ASSERT_GT(plugins.Load(), 0);
    }
    TExtractOutcome Extract(const std::string& source, TRecorder& recorder, const std::string& dest = "out.bin") {
        return ExtractPathOutcome(plugins, source, out / dest, &recorder);
    }

    TPluginList plugins;
    ScratchFolder out;
};

TEST_F(ProgressTest, ReportsEveryLevelOfANestedPath) {
    UsePlugins(SamplePlugin(""));
    // Levels still ahead are at most the components left: 5 from outer.zip, 4 once mid.tar has found
    // pack\inner.zip, 3 (exact) once inner.zip has found docs\readme.txt.
    TRecorder nested;
    ASSERT_TRUE(Extract(TestData("outer.zip\\mid.tar\\pack\\inner.zip\\docs\\readme.txt"), nested).Succeeded());
    EXPECT_TRUE(nested.Sound());
    EXPECT_EQ(nested.Levels(), (std::vector<std::pair<int, int>>{{1, 5}, {2, 5}, {2, 4}, {3, 4}, {3, 3}}));
    for (int level = 1; level <= 3; ++level)
        EXPECT_EQ(nested.Fractions(level).back(), 1.0) << level;

    TRecorder plain;
    ASSERT_TRUE(Extract(TestData("plain.txt"), plain).Succeeded());
    EXPECT_EQ(plain.Levels(), (std::vector<std::pair<int, int>>{{1, 1}}));
    EXPECT_EQ(plain.Fractions(1).back(), 1.0);
}

TEST_F(ProgressTest, ClampsWhatPluginsReport) {
    // The plug-in reports 5/0, -3/10, 7/10, 4/10, 20/10, 3/-5: only 7/10 and 20/10 (as 1) tell anything.
    // 0 comes twice: as the level begins, and once its total is known.
    PluginFolder folder({"quirky\\oddprogress.spi"});
    UsePlugins(folder.Path());
    TRecorder recorder;
    ASSERT_TRUE(Extract(TestData("nonsense.odd\\docs\\readme.txt"), recorder).Succeeded());
    EXPECT_TRUE(recorder.Sound());
    EXPECT_EQ(recorder.Fractions(1), (std::vector<double>{0, 0, 0.7, 1}));
}

TEST_F(ProgressTest, CancelThroughTheCallbackStopsSoonLeavingNothing) {
    PluginFolder folder({"zip.spi", "quirky\\slowsteps.spi", "quirky\\oddprogress.spi", "quirky\\deaf.spi"});
    UsePlugins(folder.Path());
    const int temporaries = EngineTemporaries();
    std::ofstream(out / "kept.txt", std::ios::binary) << "old";
    // The slow plug-in takes a second to report 40 steps, on disk and as a level in memory; the odd
    // one goes on when asked to stop; the deaf one, 5 s, is never called once canceled.
    struct Case {
        const char* source;
        int cancelAt;
    };
    for (const Case& c : {Case{"steps.slow\\docs\\readme.txt", 1}, Case{"slow.zip\\inner.slow\\docs\\readme.txt", 2},
                          Case{"nonsense.odd\\docs\\readme.txt", 1}, Case{"silent.deaf\\docs\\readme.txt", 0}}) {
        SCOPED_TRACE(c.source);
        TRecorder recorder(c.cancelAt);
        const ULONGLONG start = ::GetTickCount64();
        const TExtractOutcome outcome = Extract(TestData(c.source), recorder, "kept.txt");
        EXPECT_LT(::GetTickCount64() - start, 500u);
        EXPECT_EQ(outcome.Failure.Kind, TFailureKind::kCanceled);
        EXPECT_TRUE(recorder.Sound());
        EXPECT_EQ(ReadWholeFile(out / "kept.txt"), "old");
        EXPECT_EQ(out.EntryCount(), 1);
        EXPECT_EQ(EngineTemporaries(), temporaries);
    }
}

TEST_F(ProgressTest, CopiesPlainFilesReportingAndStopping) {
    UsePlugins(SamplePlugin(""));
    ScratchFolder from;
    const std::string big = from / "big.bin";
    std::ofstream(big, std::ios::binary) << std::string(9 << 20, 'b');
    std::ofstream(out / "kept.bin", std::ios::binary) << "old";

    TRecorder stopped(1);
    EXPECT_EQ(Extract(big, stopped, "kept.bin").Failure.Kind, TFailureKind::kCanceled);
    EXPECT_EQ(ReadWholeFile(out / "kept.bin"), "old");
    EXPECT_EQ(out.EntryCount(), 1);

    TRecorder copied;
    ASSERT_TRUE(Extract(big, copied, "big.bin").Succeeded());
    EXPECT_TRUE(SameContents(out / "big.bin", big));
    EXPECT_TRUE(copied.Sound());
    const std::vector<double> fractions = copied.Fractions(1);
    EXPECT_GT(fractions.size(), 2u);
    EXPECT_GT(fractions[1], 0.0);
    EXPECT_LT(fractions[1], 1.0);
    EXPECT_EQ(fractions.back(), 1.0);
}

}  // namespace
