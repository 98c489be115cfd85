// The extraction display: status line, bar value and debug line for a percentage.
#include "extraction/extract_progress.h"
#include "extraction/whole_percent.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

struct DisplayCase {
    double percent;
    const wchar_t* status;
    int bar;
};

TEST(ExtractProgressTest, StatusLineAndBarFollowThePercentage)
{
    const DisplayCase cases[] = {
        {0.0, L"正在写入文件  0.00%", 0},
        {0.5, L"正在写入文件  0.50%", 0},
        {42.5, L"正在写入文件 42.50%", 42},
        {50.0, L"正在写入文件 50.00%", 50},
        {99.99, L"正在写入文件 99.99%", 99},
        {99.999, L"正在写入文件100.00%", 99}, // rounded in the text, truncated on the bar
        {100.0, L"正在写入文件100.00%", 100},
    };
    for (const DisplayCase& c : cases) {
        EXPECT_EQ(FormatExtractStatus(c.percent), c.status) << c.percent;
        EXPECT_EQ(WholePercent(c.percent), c.bar) << c.percent;
    }
}

TEST(ExtractProgressTest, PercentOfBytesWritten)
{
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    EXPECT_DOUBLE_EQ(ExtractPercent(0, 1000), 0.0);
    EXPECT_DOUBLE_EQ(ExtractPercent(500, 1000), 50.0);
    EXPECT_DOUBLE_EQ(ExtractPercent(9999, 10000), 99.99);
    EXPECT_DOUBLE_EQ(ExtractPercent(1000, 1000), 100.0);
    EXPECT_DOUBLE_EQ(ExtractPercent(kMax / 2, kMax), 50.0); // sizes past 2^53 stay exact enough
    // Nothing to write counts as done; more than announced never shows more than 100.
    EXPECT_DOUBLE_EQ(ExtractPercent(0, 0), 100.0);
    EXPECT_DOUBLE_EQ(ExtractPercent(2000, 1000), 100.0);
}

TEST(ExtractProgressTest, BarStaysInRangeForOddValues)
{
    EXPECT_EQ(WholePercent(-3.0), 0);
    EXPECT_EQ(WholePercent(250.0), 100);
    EXPECT_EQ(WholePercent(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(ExtractProgressTest, DebugLineUsesSixDecimals)
{
    EXPECT_EQ(FormatExtractDebugLine(42.5), L"42.500000%\n");
    EXPECT_EQ(FormatExtractDebugLine(100.0), L"100.000000%\n");
}

} // namespace
