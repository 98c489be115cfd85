// Messages and work crossing threads: sends that wait for their result, sends in both
// directions at once, work run on the UI thread from inside nested loops, threads that end.
#include "platform/ui_thread.h"
#include "platform/win32_system.h"
#include "test_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

using namespace platform::testing;

namespace {

constexpr UINT kDouble = WM_USER + 10;
constexpr UINT kStop = WM_USER + 11;
constexpr UINT kAskBack = WM_USER + 12;
constexpr UINT kAnswer = WM_USER + 13;
constexpr UINT kOpenChild = WM_USER + 14;

class CrossThreadTest : public ::testing::Test {
protected:
    void SetUp() override { platform::MarkCurrentThreadAsUi(); }
    void TearDown() override { DrainQueue(); }
};

// Runs the calling thread's loop until a window receives kStop.
void LoopUntilStopped(TestWindow& window)
{
    bool stopped = false;
    auto previous = window.handler;
    window.handler = [&, previous](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
        if (message == kStop) {
            stopped = true;
            return 0;
        }
        return previous ? previous(hwnd, message, wParam, lParam) : std::nullopt;
    };
    MSG msg;
    while (!stopped && GetMessageW(&msg, nullptr, 0, 0))
        DispatchMessageW(&msg);
    window.handler = previous;
}

TEST_F(CrossThreadTest, SendFromAnotherThreadWaitsForTheOwnersResult)
{
    const DWORD ui = GetCurrentThreadId();
    std::atomic<DWORD> handledOn{0};
    std::atomic<bool> inSend{false};
    TestWindow window;
    window.handler = [&](HWND, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (message != kDouble)
            return std::nullopt;
        handledOn = GetCurrentThreadId();
        inSend = InSendMessage() != FALSE;
        return static_cast<LRESULT>(wParam * 2);
    };
    const HWND hwnd = CreateTestWindow(window);

    auto result = std::async(std::launch::async, [hwnd] {
        const LRESULT doubled = SendMessageW(hwnd, kDouble, 21, 0);
        PostMessageW(hwnd, kStop, 0, 0);
        return doubled;
    });
    LoopUntilStopped(window);
    EXPECT_EQ(result.get(), 42);
    EXPECT_EQ(handledOn, ui);
    EXPECT_TRUE(inSend);

    // On the owning thread the call is direct.
    EXPECT_EQ(SendMessageW(hwnd, kDouble, 5, 0), 10);
    EXPECT_FALSE(inSend);
    DestroyWindow(hwnd);
}

TEST_F(CrossThreadTest, AThreadWaitingInSendStillHandlesSendsToIt)
{
    // The UI thread sends to a worker's window; the worker, while handling it, sends back to
    // the UI thread's window. Neither may wait for the other forever.
    TestWindow uiWindow;
    uiWindow.handler = [](HWND, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (message == kAnswer)
            return static_cast<LRESULT>(wParam + 1);
        return std::nullopt;
    };
    const HWND hu = CreateTestWindow(uiWindow);

    std::promise<HWND> workerWindowReady;
    std::thread worker([&] {
        TestWindow workerWindow;
        workerWindow.handler = [hu](HWND, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
            if (message == kAskBack)
                return SendMessageW(hu, kAnswer, wParam, 0) * 10;
            return std::nullopt;
        };
        const HWND hw = CreateTestWindow(workerWindow);
        workerWindowReady.set_value(hw);
        LoopUntilStopped(workerWindow);
        DestroyWindow(hw);
    });
    const HWND hw = workerWindowReady.get_future().get();
    EXPECT_EQ(SendMessageW(hw, kAskBack, 4, 0), 50);
    PostMessageW(hw, kStop, 0, 0);
    worker.join();
    DestroyWindow(hu);
}

TEST_F(CrossThreadTest, InvokeOnUiThreadRunsInsideANestedModalLoop)
{
    TestWindow outer, inner;
    int depth = 0;
    std::atomic<int> depthSeen{-1};
    std::atomic<DWORD> ranOn{0};
    std::thread worker;

    inner.handler = [&](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == kOpenChild) {
            // The loop of `inner` runs now; a worker asks the UI thread for work.
            worker = std::thread([&] {
                const bool ran = platform::InvokeOnUiThread([&] {
                    ranOn = GetCurrentThreadId();
                    depthSeen = depth;
                });
                EXPECT_TRUE(ran);
                PostMessageW(inner.hwnd, WM_CLOSE, 0, 0);
            });
        }
        return std::nullopt;
    };
    outer.handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == kOpenChild) {
            const HWND hi = CreateTestWindow(inner, WS_POPUP, 0, hwnd);
            PostMessageW(hi, kOpenChild, 0, 0);
            ++depth;
            RunModal(hi, hwnd);
            --depth;
            DestroyWindow(hwnd);
        }
        return std::nullopt;
    };
    const HWND ho = CreateTestWindow(outer);
    PostMessageW(ho, kOpenChild, 0, 0);
    ++depth;
    RunModal(ho, nullptr);
    --depth;
    worker.join();

    EXPECT_EQ(ranOn, GetCurrentThreadId());
    EXPECT_EQ(depthSeen, 2);
}

TEST_F(CrossThreadTest, InvokeOnUiThreadRunsAtOnceOnTheUiThreadAndCarriesExceptions)
{
    bool ran = false;
    EXPECT_TRUE(platform::InvokeOnUiThread([&] { ran = true; }));
    EXPECT_TRUE(ran);

    TestWindow window;
    const HWND hwnd = CreateTestWindow(window);
    auto thrown = std::async(std::launch::async, [hwnd] {
        bool caught = false;
        try {
            platform::InvokeOnUiThread([] { throw std::runtime_error("from the UI thread"); });
        } catch (const std::runtime_error&) {
            caught = true;
        }
        PostMessageW(hwnd, kStop, 0, 0);
        return caught;
    });
    LoopUntilStopped(window);
    EXPECT_TRUE(thrown.get());
    DestroyWindow(hwnd);
}

TEST_F(CrossThreadTest, WindowsOfAnEndedThreadAreGoneAndSendsToThemDoNotHang)
{
    std::promise<HWND> created;
    std::promise<void> sendStarted;
    std::thread owner([&] {
        TestWindow window;
        created.set_value(CreateTestWindow(window));
        // Never looks at its queue; ends with the window still there.
        sendStarted.get_future().wait();
    });
    const HWND hwnd = created.get_future().get();
    ASSERT_TRUE(IsWindow(hwnd));

    auto send = std::async(std::launch::async, [&] {
        sendStarted.set_value();
        return SendMessageW(hwnd, kDouble, 1, 0);
    });
    owner.join();
    EXPECT_EQ(send.get(), 0);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(PostMessageW(hwnd, kDouble, 0, 0));
}

TEST_F(CrossThreadTest, PostedMessagesFromManyThreadsKeepEachThreadsOrder)
{
    std::vector<Received> journal;
    TestWindow window{nullptr, &journal};
    const HWND hwnd = CreateTestWindow(window);
    constexpr int kThreads = 4;
    constexpr int kEach = 200;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([hwnd, t] {
            for (int i = 0; i < kEach; ++i)
                PostMessageW(hwnd, WM_USER + 100 + t, static_cast<WPARAM>(i), 0);
        });
    for (auto& poster : posters)
        poster.join();
    PumpPending();

    std::vector<WPARAM> next(kThreads, 0);
    int total = 0;
    for (const Received& r : journal) {
        if (r.message < WM_USER + 100)
            continue;
        const auto t = r.message - (WM_USER + 100);
        EXPECT_EQ(r.wParam, next[t]++);
        ++total;
    }
    EXPECT_EQ(total, kThreads * kEach);
    DestroyWindow(hwnd);
}

} // namespace
