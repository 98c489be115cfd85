// Progress on its way to the UI thread: the texts and bar values, the relay that keeps only
// the latest value and one wake-up, the pacing, and the job that a stop closes.
#include "download_window/install_job.h"
#include "download_window/install_worker.h"
#include "download_window/progress_relay.h"
#include "extraction/whole_percent.h"
#include "session/download_progress.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

// ---- Texts and bar values -----------------------------------------------------------------

struct ShownCase {
    ProgressValue value;
    const wchar_t* text;
    int bar;
};

TEST(ProgressDisplay, TextAndBarFollowThePercentage)
{
    const ShownCase cases[] = {
        {{ProgressPhase::Download, 0.0}, L"正在下载文件：0%", 0},
        {{ProgressPhase::Download, 42.7}, L"正在下载文件：42%", 42},
        {{ProgressPhase::Download, 99.9}, L"正在下载文件：99%", 99},
        {{ProgressPhase::Download, 100.0}, L"正在下载文件：100%", 100},
        {{ProgressPhase::Extract, 0.0}, L"正在写入文件  0.00%", 0},
        {{ProgressPhase::Extract, 50.0}, L"正在写入文件 50.00%", 50},
        {{ProgressPhase::Extract, 99.99}, L"正在写入文件 99.99%", 99},
        {{ProgressPhase::Extract, 100.0}, L"正在写入文件100.00%", 100},
    };
    for (const ShownCase& c : cases) {
        EXPECT_EQ(ProgressStatusText(c.value), c.text) << c.value.percent;
        EXPECT_EQ(ProgressBarValue(c.value), c.bar) << c.value.percent;
    }
}

TEST(ProgressDisplay, DownloadPercentWaitsForTheTotal)
{
    EXPECT_FALSE(DownloadPercent(0.0, 0.0));
    EXPECT_FALSE(DownloadPercent(0.0, 5000.0));
    EXPECT_FALSE(DownloadPercent(-1.0, 5.0));
    ASSERT_TRUE(DownloadPercent(1000.0, 999.0));
    EXPECT_EQ(WholePercent(*DownloadPercent(1000.0, 999.0)), 99);
    // Sizes past 4 GiB and past 2^53 bytes stay exact enough for a whole percentage.
    EXPECT_EQ(WholePercent(*DownloadPercent(6442450944.0, 3221225472.0)), 50);
    // More than announced never shows more than a full bar.
    EXPECT_EQ(WholePercent(*DownloadPercent(100.0, 150.0)), 100);
    EXPECT_EQ(FormatDownloadStartStatus(0), L"正在下载 0%");
}

// ---- The relay ----------------------------------------------------------------------------

TEST(ProgressRelayTest, AsksForOneWakeUpUntilTheValueIsTaken)
{
    ProgressRelay relay;
    EXPECT_FALSE(relay.Take());

    EXPECT_TRUE(relay.Publish({ProgressPhase::Download, 1.0}).wakeUi);
    EXPECT_FALSE(relay.Publish({ProgressPhase::Download, 2.0}).wakeUi);
    EXPECT_FALSE(relay.Publish({ProgressPhase::Download, 3.0}).wakeUi);
    const auto taken = relay.Take();
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->percent, 3.0);
    EXPECT_FALSE(relay.Take());

    // Once taken, the next value asks again.
    EXPECT_TRUE(relay.Publish({ProgressPhase::Extract, 0.5}).wakeUi);
    const auto next = relay.Take();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->phase, ProgressPhase::Extract);
}

TEST(ProgressRelayTest, TellsWhenTheWholePercentChanges)
{
    ProgressRelay relay;
    const struct {
        ProgressValue value;
        bool newWhole;
    } steps[] = {
        {{ProgressPhase::Download, 0.0}, true},
        {{ProgressPhase::Download, 0.9}, false},
        {{ProgressPhase::Download, 1.0}, true},
        {{ProgressPhase::Download, 1.5}, false},
        {{ProgressPhase::Download, 100.0}, true},
        {{ProgressPhase::Extract, 0.0}, true},
        {{ProgressPhase::Extract, 0.01}, false},
        {{ProgressPhase::Extract, 100.0}, true},
        {{ProgressPhase::Extract, 100.0}, false},
        // 99.996 already reads "100.00%": the full value has nothing new to print.
        {{ProgressPhase::Verify, 91.67}, true},
        {{ProgressPhase::Verify, 99.996}, true},
        {{ProgressPhase::Verify, 100.0}, false},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(relay.Publish(step.value).newWholePercent, step.newWhole) << step.value.percent;
        relay.Take();
    }
}

TEST(ProgressRelayTest, FastPublisherNeverFloodsAndTheLastValueArrives)
{
    ProgressRelay relay;
    constexpr int kValues = 200000;
    std::atomic<int> wakeUps{0};
    std::atomic<bool> done{false};
    std::thread publisher([&] {
        for (int i = 1; i <= kValues; ++i) {
            if (relay.Publish({ProgressPhase::Extract, i * 100.0 / kValues}).wakeUi)
                ++wakeUps;
        }
        done = true;
    });
    int takes = 0;
    double last = 0.0;
    while (!done) {
        if (const auto value = relay.Take()) {
            EXPECT_GE(value->percent, last);
            last = value->percent;
        }
        ++takes;
        // Never more than one wake-up outstanding: at most one per look at the relay.
        EXPECT_LE(wakeUps.load(), takes + 1);
    }
    publisher.join();
    if (const auto value = relay.Take())
        last = value->percent;
    EXPECT_EQ(last, 100.0);
}

TEST(ProgressPacerTest, ShowsAtMostOncePerInterval)
{
    ProgressPacer pacer(50);
    EXPECT_EQ(pacer.DelayAt(1000), 0u);
    pacer.ShownAt(1000);
    EXPECT_EQ(pacer.DelayAt(1000), 50u);
    EXPECT_EQ(pacer.DelayAt(1030), 20u);
    EXPECT_EQ(pacer.DelayAt(1050), 0u);
    EXPECT_EQ(pacer.DelayAt(5000), 0u);
    // The tick count wraps after 49 days.
    pacer.ShownAt(0xFFFFFFF0u);
    EXPECT_EQ(pacer.DelayAt(0xFFFFFFF0u + 10u), 40u);
    EXPECT_EQ(pacer.DelayAt(0x00000030u), 0u);
}

// ---- The job ------------------------------------------------------------------------------

// A worker whose request leads nowhere; it is stopped during its first pause.
InstallRequest NowhereRequest()
{
    return {"http://127.0.0.1:9/setup/none.zip", "Q:\\kelvo\\none.zip", "Q:\\kelvo\\", L"Q:", RunOptions{}, {}};
}

TEST(InstallJobTest, StopInstallWorkerWaitsForStartedWorkers)
{
    auto job = std::make_shared<InstallJob>(nullptr, nullptr);
    ASSERT_TRUE(StartInstallWorker(NowhereRequest(), job));
    EXPECT_TRUE(StopInstallWorker(30s));
    EXPECT_TRUE(job->Ended());
    // Nothing left to stop.
    EXPECT_TRUE(StopInstallWorker(0ms));
}

TEST(InstallJobTest, StopInstallWorkerAndWaitReturnsOnlyOnceEveryWorkerEnded)
{
    auto first = std::make_shared<InstallJob>(nullptr, nullptr);
    auto second = std::make_shared<InstallJob>(nullptr, nullptr);
    ASSERT_TRUE(StartInstallWorker(NowhereRequest(), first));
    ASSERT_TRUE(StartInstallWorker(NowhereRequest(), second));
    StopInstallWorkerAndWait();
    EXPECT_TRUE(first->Ended());
    EXPECT_TRUE(second->Ended());
    EXPECT_TRUE(first->StopRequested());
}

} // namespace
