// Nested modal loops as the window library runs them: one quit unwinds them all, owners are
// disabled while their modal child runs.
#include "test_window.h"

#include <gtest/gtest.h>

using namespace platform::testing;

namespace {

constexpr UINT kOpenChild = WM_USER + 1;
constexpr UINT kQuitNow = WM_USER + 2;
constexpr UINT kLastWord = WM_USER + 3;

class ModalLoopTest : public ::testing::Test {
protected:
    void TearDown() override { DrainQueue(); }
};

TEST_F(ModalLoopTest, OneQuitUnwindsThreeNestedLoopsAfterThePostedMessages)
{
    std::vector<Received> journal;
    std::vector<std::string> events;
    TestWindow outer{nullptr, &journal}, middle{nullptr, &journal}, inner{nullptr, &journal};
    const HWND ho = CreateTestWindow(outer);

    outer.handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == kOpenChild) {
            const HWND hm = CreateTestWindow(middle, WS_POPUP, 0, hwnd);
            PostMessageW(hm, kOpenChild, 0, 0);
            events.push_back(RunModal(hm, hwnd) ? "middle quit" : "middle closed");
        }
        if (message == kLastWord)
            events.push_back("last word");
        return std::nullopt;
    };
    middle.handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == kOpenChild) {
            EXPECT_FALSE(IsWindowEnabled(ho));
            const HWND hi = CreateTestWindow(inner, WS_POPUP, 0, hwnd);
            PostMessageW(hi, kQuitNow, 0, 0);
            events.push_back(RunModal(hi, hwnd) ? "inner quit" : "inner closed");
        }
        return std::nullopt;
    };
    inner.handler = [&](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == kQuitNow) {
            EXPECT_FALSE(IsWindowEnabled(middle.hwnd));
            // Posted before the quit: dispatched before any loop ends.
            PostMessageW(ho, kLastWord, 0, 0);
            PostQuitMessage(7);
        }
        return std::nullopt;
    };

    PostMessageW(ho, kOpenChild, 0, 0);
    events.push_back(RunModal(ho, nullptr) ? "outer quit" : "outer closed");

    EXPECT_EQ(events, (std::vector<std::string>{"last word", "inner quit", "middle quit", "outer quit"}));
    EXPECT_TRUE(IsWindowEnabled(ho));
    EXPECT_TRUE(IsWindowEnabled(middle.hwnd));
    // The quit is still there for the entry point's own loop.
    MSG msg;
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.wParam, 7u);
    DestroyWindow(ho);
}

TEST_F(ModalLoopTest, OwnerIsDisabledDuringAndEnabledAfterTheModalLoop)
{
    TestWindow owner, child;
    const HWND ho = CreateTestWindow(owner, WS_POPUP | WS_VISIBLE);
    std::optional<bool> enabledInside;
    child.handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == kQuitNow) {
            enabledInside = IsWindowEnabled(ho) != FALSE;
            DestroyWindow(hwnd); // ends the loop as Close does
        }
        return std::nullopt;
    };
    const HWND hc = CreateTestWindow(child, WS_POPUP, 0, ho);
    PostMessageW(hc, kQuitNow, 0, 0);
    EXPECT_FALSE(RunModal(hc, ho));
    ASSERT_TRUE(enabledInside.has_value());
    EXPECT_FALSE(*enabledInside);
    EXPECT_TRUE(IsWindowEnabled(ho));
    DestroyWindow(ho);
}

TEST_F(ModalLoopTest, ClosingTheOwnerFromTheModalLoopEndsBoth)
{
    // The download window forwards WM_CLOSE to the main window: destroying the owner takes
    // the modal window with it, and the loop ends.
    TestWindow owner, child;
    const HWND ho = CreateTestWindow(owner, WS_POPUP | WS_VISIBLE);
    child.handler = [&](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_CLOSE)
            SendMessageW(ho, WM_CLOSE, 0, 0);
        return std::nullopt;
    };
    const HWND hc = CreateTestWindow(child, WS_POPUP, 0, ho);
    PostMessageW(hc, WM_CLOSE, 0, 0);
    EXPECT_FALSE(RunModal(hc, ho));
    EXPECT_FALSE(IsWindow(ho));
    EXPECT_FALSE(IsWindow(hc));
}

} // namespace
