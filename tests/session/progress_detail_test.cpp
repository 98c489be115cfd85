// The second line of the progress: the smoothed rate, the time left and how they read.
#include "session/progress_detail.h"
#include "session/transfer_rate.h"
#include "ui/user_texts.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

struct Sample {
    double seconds;
    std::uint64_t done;
};

TEST(TransferRate, KnownOnlyAfterASecondThenSmoothedAndStartedAgainWhenTheCountGoesBack)
{
    struct Case {
        const char* what;
        std::vector<Sample> samples;
        std::optional<double> rate;
    };
    const Case cases[] = {
        {"no sample", {}, std::nullopt},
        {"one sample", {{0, 0}}, std::nullopt},
        {"samples within a second", {{0, 0}, {0.5, 500}, {0.9, 900}}, std::nullopt},
        {"a second apart", {{0, 0}, {1, 1000}}, 1000.0},
        {"samples between are skipped", {{0, 0}, {0.5, 9000}, {2, 2000}}, 1000.0},
        {"a faster second moves it part of the way", {{0, 0}, {1, 1000}, {2, 3000}}, 0.3 * 2000 + 0.7 * 1000},
        {"a count that goes back starts again", {{0, 0}, {1, 1000}, {2, 10}}, std::nullopt},
        {"a clock that goes back starts again", {{5, 0}, {6, 1000}, {1, 1500}}, std::nullopt},
    };
    for (const Case& c : cases) {
        TransferRate rate;
        for (const Sample& s : c.samples)
            rate.Sample(s.seconds, s.done);
        ASSERT_EQ(rate.BytesPerSecond().has_value(), c.rate.has_value()) << c.what;
        if (c.rate) {
            EXPECT_DOUBLE_EQ(*rate.BytesPerSecond(), *c.rate) << c.what;
        }
    }
}

TEST(TransferRate, TimeLeftAndHowTheFiguresRead)
{
    TransferRate rate;
    EXPECT_EQ(rate.SecondsLeft(0, 100), std::nullopt);
    rate.Sample(0, 0);
    rate.Sample(1, 1'000'000);
    EXPECT_EQ(rate.SecondsLeft(1'000'000, 181'000'000), 180u);
    EXPECT_EQ(rate.SecondsLeft(1'000'000, 1'000'001), 1u); // never "0" while anything is left
    EXPECT_EQ(rate.SecondsLeft(5, 5), 0u);

    EXPECT_EQ(text::TransferSpeed(12'345'678), L"12.3 MB/s");
    EXPECT_EQ(text::TransferSpeed(150'400), L"150 kB/s");
    EXPECT_EQ(text::TimeLeft(59), L"剩余约59秒");
    EXPECT_EQ(text::TimeLeft(150), L"剩余约3分钟");
    EXPECT_EQ(text::TimeLeft(3600), L"剩余约1小时");
    EXPECT_EQ(text::TimeLeft(3 * 3600 + 20 * 60), L"剩余约3小时20分钟");
    EXPECT_EQ(text::ProgressStep(2, 3), L"第2步，共3步");
}

TEST(ProgressDetail, StepAtOnceFiguresOnceKnownAndAFreshRateEachPhase)
{
    ProgressDetail detail(false);
    const auto line = [&detail](ProgressPhase phase, double seconds, std::uint64_t done, std::uint64_t total) {
        return detail.Line({phase, 0.0, 0, 0, done, total}, seconds);
    };
    EXPECT_EQ(line(ProgressPhase::Download, 0, 0, 60'000'000), L"第1步，共2步");
    EXPECT_EQ(detail.Figures(), L"");
    EXPECT_EQ(line(ProgressPhase::Download, 1, 2'000'000, 60'000'000), L"第1步，共2步  2.0 MB/s  剩余约29秒");
    // Between samples the line stays as it is.
    EXPECT_EQ(line(ProgressPhase::Download, 1.5, 30'000'000, 60'000'000), L"第1步，共2步  2.0 MB/s  剩余约29秒");
    EXPECT_EQ(line(ProgressPhase::Retry, 2, 0, 0), L"第1步，共2步");
    EXPECT_EQ(line(ProgressPhase::Extract, 3, 0, 9'000'000), L"第2步，共2步");
    EXPECT_EQ(line(ProgressPhase::Extract, 4, 9'000'000, 9'000'000), L"第2步，共2步"); // done: nothing left
    EXPECT_EQ(ProgressPhaseName(ProgressPhase::Retry), std::wstring(L"下载"));
    EXPECT_EQ(ProgressPhaseName(ProgressPhase::Verify), std::wstring(L"校验"));
}

} // namespace
