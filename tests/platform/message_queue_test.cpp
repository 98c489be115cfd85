// Posted messages, paint and timer generation, destruction and default handling, on the
// null display.
#include "platform/core/display_events.h"
#include "platform/win32_system.h"
#include "test_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

using namespace platform::testing;

namespace {

class MessageQueueTest : public ::testing::Test {
protected:
    void TearDown() override { DrainQueue(); }
};

std::size_t IndexOf(const std::vector<Received>& journal, HWND hwnd, UINT message)
{
    const auto found = std::find_if(
        journal.begin(), journal.end(), [&](const Received& r) { return r.hwnd == hwnd && r.message == message; });
    return static_cast<std::size_t>(found - journal.begin());
}

TEST_F(MessageQueueTest, PostedMessagesArriveInPostingOrderAcrossWindows)
{
    std::vector<Received> journal;
    TestWindow a{nullptr, &journal}, b{nullptr, &journal};
    const HWND ha = CreateTestWindow(a);
    const HWND hb = CreateTestWindow(b);
    for (UINT i = 0; i < 6; ++i)
        ASSERT_TRUE(PostMessageW(i % 2 ? hb : ha, WM_USER + i, i, 0));
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER + 50, 0, 0));
    ASSERT_TRUE(PostMessageW(ha, WM_USER + 6, 0, 0));

    journal.clear();
    std::vector<UINT> threadMessages;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!msg.hwnd)
            threadMessages.push_back(msg.message);
        DispatchMessageW(&msg);
    }
    EXPECT_EQ(UserMessages(journal),
        (std::vector<UINT>{WM_USER, WM_USER + 1, WM_USER + 2, WM_USER + 3, WM_USER + 4, WM_USER + 5, WM_USER + 6}));
    for (const Received& r : journal) {
        if (r.message >= WM_USER) {
            EXPECT_EQ(r.hwnd, (r.message - WM_USER) % 2 ? hb : ha);
        }
    }
    EXPECT_EQ(threadMessages, std::vector<UINT>{WM_USER + 50});
    DestroyWindow(ha);
    DestroyWindow(hb);
}

TEST_F(MessageQueueTest, MessagesForADestroyedWindowAreDropped)
{
    std::vector<Received> journal;
    TestWindow doomed{nullptr, &journal}, other{nullptr, &journal};
    const HWND hd = CreateTestWindow(doomed);
    const HWND ho = CreateTestWindow(other);
    PostMessageW(hd, WM_USER + 1, 0, 0);
    PostMessageW(ho, WM_USER + 2, 0, 0);
    PostMessageW(hd, WM_USER + 3, 0, 0);
    ASSERT_TRUE(DestroyWindow(hd));

    EXPECT_FALSE(IsWindow(hd));
    EXPECT_FALSE(PostMessageW(hd, WM_USER + 4, 0, 0));
    EXPECT_EQ(SendMessageW(hd, WM_USER + 5, 0, 0), 0);
    journal.clear();
    PumpPending();
    EXPECT_EQ(UserMessages(journal), std::vector<UINT>{WM_USER + 2});
    DestroyWindow(ho);
}

TEST_F(MessageQueueTest, HandlesAreNeverReused)
{
    std::vector<HWND> seen;
    for (int i = 0; i < 50; ++i) {
        TestWindow window;
        const HWND hwnd = CreateTestWindow(window);
        ASSERT_NE(hwnd, nullptr);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), hwnd), 0);
        seen.push_back(hwnd);
        DestroyWindow(hwnd);
    }
}

TEST_F(MessageQueueTest, PaintComesOnlyWhenNothingElseIsQueued)
{
    std::vector<Received> journal;
    TestWindow window{nullptr, &journal};
    const HWND hwnd = CreateTestWindow(window, WS_POPUP | WS_VISIBLE);
    PostMessageW(hwnd, WM_USER + 1, 0, 0);
    PostMessageW(hwnd, WM_USER + 2, 0, 0);

    std::vector<UINT> order;
    MSG msg;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
        order.push_back(msg.message);
        DispatchMessageW(&msg);
    }
    EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_PAINT}));
    // The default handling validated the window: no second paint.
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));

    // A pending quit comes before a paint, a later post before both.
    InvalidateRect(hwnd, nullptr, FALSE);
    PostQuitMessage(3);
    PostMessageW(hwnd, WM_USER + 3, 0, 0);
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_USER + 3);
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.wParam, 3u);
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_PAINT);
    DispatchMessageW(&msg);
    DestroyWindow(hwnd);
}

TEST_F(MessageQueueTest, HiddenWindowsAreNotPaintedUntilShown)
{
    std::vector<Received> journal;
    TestWindow window{nullptr, &journal};
    const HWND hwnd = CreateTestWindow(window);
    InvalidateRect(hwnd, nullptr, TRUE);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));

    ShowWindow(hwnd, SW_SHOW);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_PAINT);
    EXPECT_EQ(msg.hwnd, hwnd);
    DispatchMessageW(&msg);
    DestroyWindow(hwnd);
}

TEST_F(MessageQueueTest, PaintRectangleIsTheUnionOfInvalidatedAreas)
{
    std::optional<RECT> painted;
    TestWindow window;
    window.handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message != WM_PAINT)
            return std::nullopt;
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        painted = ps.rcPaint;
        EndPaint(hwnd, &ps);
        return 0;
    };
    const HWND hwnd = CreateTestWindow(window, WS_POPUP | WS_VISIBLE, 0, nullptr, RECT{0, 0, 200, 100});
    PumpPending();
    ASSERT_TRUE(painted);
    EXPECT_EQ(painted->right, 200);
    painted.reset();

    const RECT first{10, 10, 20, 20}, second{50, 5, 60, 15}, outside{190, 90, 400, 400};
    InvalidateRect(hwnd, &first, FALSE);
    InvalidateRect(hwnd, &second, FALSE);
    InvalidateRect(hwnd, &outside, FALSE);
    PumpPending();
    ASSERT_TRUE(painted);
    EXPECT_EQ(painted->left, 10);
    EXPECT_EQ(painted->top, 5);
    EXPECT_EQ(painted->right, 200); // clipped to the client area
    EXPECT_EQ(painted->bottom, 100);
    DestroyWindow(hwnd);
}

void CALLBACK_CountTicks(HWND, UINT, UINT_PTR, DWORD);
int threadTimerTicks = 0;
void CALLBACK_CountTicks(HWND, UINT message, UINT_PTR, DWORD)
{
    if (message == WM_TIMER)
        ++threadTimerTicks;
}

TEST_F(MessageQueueTest, TimersTickUntilKilledAndYieldToPostedMessages)
{
    std::vector<Received> journal;
    TestWindow window{nullptr, &journal};
    const HWND hwnd = CreateTestWindow(window);
    ASSERT_EQ(SetTimer(hwnd, 7, 10, nullptr), 7u);

    int ticks = 0;
    MSG msg;
    while (ticks < 3 && GetMessageW(&msg, nullptr, 0, 0)) {
        if (msg.message == WM_TIMER && msg.hwnd == hwnd && msg.wParam == 7)
            ++ticks;
        DispatchMessageW(&msg);
    }
    EXPECT_EQ(ticks, 3);

    // A due timer waits behind posted messages.
    Sleep(30);
    PostMessageW(hwnd, WM_USER + 1, 0, 0);
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_USER + 1);
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_TIMER);

    EXPECT_TRUE(KillTimer(hwnd, 7));
    EXPECT_FALSE(KillTimer(hwnd, 7));
    Sleep(30);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));

    // After a stall of many intervals the timer ticks once, not once for each missed interval.
    ASSERT_EQ(SetTimer(hwnd, 9, 50, nullptr), 9u);
    Sleep(500);
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_TRUE(KillTimer(hwnd, 9));

    // A thread timer with a callback: DispatchMessageW calls the callback.
    threadTimerTicks = 0;
    const UINT_PTR id = SetTimer(nullptr, 0, 10, CALLBACK_CountTicks);
    ASSERT_NE(id, 0u);
    while (threadTimerTicks < 2 && GetMessageW(&msg, nullptr, 0, 0))
        DispatchMessageW(&msg);
    EXPECT_EQ(threadTimerTicks, 2);
    EXPECT_TRUE(KillTimer(nullptr, id));

    // Destroying the window ends its timers.
    SetTimer(hwnd, 8, 10, nullptr);
    DestroyWindow(hwnd);
    Sleep(30);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
}

TEST_F(MessageQueueTest, DestroyTakesOwnedWindowsFirstThenDestroyThenNcDestroy)
{
    std::vector<Received> journal;
    TestWindow owner{nullptr, &journal}, owned{nullptr, &journal}, ownedByOwned{nullptr, &journal};
    const HWND ho = CreateTestWindow(owner, WS_POPUP | WS_VISIBLE);
    const HWND hw = CreateTestWindow(owned, WS_POPUP, 0, ho);
    const HWND hww = CreateTestWindow(ownedByOwned, WS_POPUP, 0, hw);
    EXPECT_EQ(GetWindow(hww, GW_OWNER), hw);
    EXPECT_EQ(GetParent(hw), ho); // a popup's parent is its owner

    bool validDuringNcDestroy = false;
    owner.handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_NCDESTROY)
            validDuringNcDestroy = IsWindow(hwnd);
        return std::nullopt;
    };
    journal.clear();
    ASSERT_TRUE(DestroyWindow(ho));
    EXPECT_FALSE(IsWindow(ho));
    EXPECT_FALSE(IsWindow(hw));
    EXPECT_FALSE(IsWindow(hww));
    EXPECT_TRUE(validDuringNcDestroy);
    EXPECT_LT(IndexOf(journal, hww, WM_NCDESTROY), IndexOf(journal, hw, WM_DESTROY));
    EXPECT_LT(IndexOf(journal, hw, WM_NCDESTROY), IndexOf(journal, ho, WM_DESTROY));
    EXPECT_LT(IndexOf(journal, ho, WM_DESTROY), IndexOf(journal, ho, WM_NCDESTROY));
    EXPECT_FALSE(DestroyWindow(ho));
}

TEST_F(MessageQueueTest, CreationSendsNcCreateAndCreateWithTheParameters)
{
    std::vector<Received> journal;
    std::optional<CREATESTRUCTW> seen;
    TestWindow window{nullptr, &journal};
    window.handler = [&](HWND, UINT message, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
        if (message == WM_CREATE)
            seen = *reinterpret_cast<const CREATESTRUCTW*>(lParam);
        return std::nullopt;
    };
    const HWND hwnd = CreateTestWindow(window, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, nullptr, RECT{5, 6, 105, 56});
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->lpCreateParams, &window);
    EXPECT_EQ(seen->cx, 100);
    EXPECT_EQ(seen->cy, 50);
    EXPECT_EQ(seen->dwExStyle, WS_EX_TOOLWINDOW);
    EXPECT_LT(IndexOf(journal, hwnd, WM_NCCREATE), IndexOf(journal, hwnd, WM_CREATE));
    EXPECT_LT(IndexOf(journal, hwnd, WM_CREATE), IndexOf(journal, hwnd, WM_SHOWWINDOW));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_TRUE(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_EXSTYLE), static_cast<LONG_PTR>(WS_EX_TOOLWINDOW));
    DestroyWindow(hwnd);

    // A window that refuses WM_CREATE is not made.
    TestWindow refusing;
    refusing.handler = [](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_CREATE)
            return -1;
        return std::nullopt;
    };
    EXPECT_EQ(CreateTestWindow(refusing), nullptr);
    EXPECT_FALSE(IsWindow(refusing.hwnd));
}

TEST_F(MessageQueueTest, DefaultHandlingOfCloseSystemCommandsHitTestAndIcons)
{
    TestWindow window;
    const HWND hwnd = CreateTestWindow(window, WS_POPUP | WS_VISIBLE);
    EXPECT_EQ(SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(150, 150)), HTCLIENT);

    static int bigIcon, smallIcon;
    const HICON big = reinterpret_cast<HICON>(&bigIcon), small = reinterpret_cast<HICON>(&smallIcon);
    EXPECT_EQ(SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big)), 0);
    EXPECT_EQ(SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small)), 0);
    EXPECT_EQ(
        SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(small)), reinterpret_cast<LRESULT>(big));
    EXPECT_EQ(SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(small));

    SendMessageW(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(hwnd));
    SendMessageW(hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(IsIconic(hwnd));
    SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(MessageQueueTest, WindowLongsTextAndGeometry)
{
    TestWindow window;
    const HWND hwnd = CreateTestWindow(window, WS_POPUP, 0, nullptr, RECT{10, 20, 110, 70});
    EXPECT_EQ(SetWindowLongPtrW(hwnd, GWLP_USERDATA, 42), reinterpret_cast<LONG_PTR>(&window));
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_USERDATA), 42);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&window));

    ASSERT_TRUE(SetWindowTextW(hwnd, L"正在安装"));
    wchar_t text[3];
    EXPECT_EQ(GetWindowTextW(hwnd, text, 3), 2);
    EXPECT_EQ(std::wstring(text), L"正在");
    EXPECT_EQ(GetWindowTextLengthW(hwnd), 4);

    RECT rect;
    ASSERT_TRUE(GetWindowRect(hwnd, &rect));
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.bottom, 70);
    MoveWindow(hwnd, 30, 40, 200, 100, TRUE);
    GetClientRect(hwnd, &rect);
    EXPECT_EQ(rect.right, 200);
    EXPECT_EQ(rect.bottom, 100);
    POINT point{5, 6};
    ClientToScreen(hwnd, &point);
    EXPECT_EQ(point.x, 35);
    EXPECT_EQ(point.y, 46);
    ScreenToClient(hwnd, &point);
    EXPECT_EQ(point.x, 5);

    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_TRUE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    GetWindowRect(hwnd, &rect);
    EXPECT_EQ(rect.left, 30);
    EXPECT_EQ(rect.right, 230);
    DestroyWindow(hwnd);
}

TEST_F(MessageQueueTest, DisabledWindowsGetNoInput)
{
    std::vector<Received> journal;
    TestWindow window{nullptr, &journal};
    const HWND hwnd = CreateTestWindow(window, WS_POPUP | WS_VISIBLE);
    PumpPending();

    EXPECT_FALSE(EnableWindow(hwnd, FALSE)); // was enabled
    EXPECT_FALSE(IsWindowEnabled(hwnd));
    EXPECT_FALSE(platform::QueueMouseInput(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, POINT{3, 4}));
    EXPECT_FALSE(platform::QueueKeyInput(hwnd, WM_KEYDOWN, VK_RETURN, 0));
    EXPECT_FALSE(platform::QueueCloseRequest(hwnd));
    EXPECT_TRUE(EnableWindow(hwnd, TRUE)); // was disabled

    journal.clear();
    EXPECT_TRUE(platform::QueueMouseInput(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, POINT{3, 4}));
    EXPECT_TRUE(platform::QueueMouseInput(hwnd, WM_MOUSEMOVE, 0, POINT{5, 6}));
    EXPECT_TRUE(platform::QueueMouseInput(hwnd, WM_MOUSEMOVE, 0, POINT{7, 8})); // merged with the move before
    EXPECT_TRUE(platform::QueueKeyInput(hwnd, WM_KEYDOWN, VK_ESCAPE, 0));
    PumpPending();
    std::vector<Received> input;
    std::copy_if(journal.begin(), journal.end(), std::back_inserter(input), [](const Received& r) {
        return r.message == WM_LBUTTONDOWN || r.message == WM_MOUSEMOVE || r.message == WM_KEYDOWN;
    });
    ASSERT_EQ(input.size(), 3u);
    EXPECT_EQ(input[0].lParam, MAKELPARAM(3, 4));
    EXPECT_EQ(input[1].lParam, MAKELPARAM(7, 8));
    EXPECT_EQ(input[2].wParam, VK_ESCAPE);
    DestroyWindow(hwnd);
}

TEST_F(MessageQueueTest, InputQueuedWhileAHandlerBlocksIsDroppedOnceItsWindowIsHiddenOrDisabled)
{
    const struct {
        const char* change;
        std::function<void(HWND)> apply;
    } rows[] = {
        {"hidden", [](HWND hwnd) { ShowWindow(hwnd, SW_HIDE); }},
        {"disabled", [](HWND hwnd) { EnableWindow(hwnd, FALSE); }},
        {"unchanged", [](HWND) {}},
    };
    for (const auto& row : rows) {
        std::vector<Received> journal;
        TestWindow window{nullptr, &journal};
        window.handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (message != WM_USER)
                return std::nullopt;
            // The user clicks and types while this handler still runs; then it changes the window.
            platform::QueueMouseInput(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, POINT{3, 4});
            platform::QueueMouseInput(hwnd, WM_LBUTTONUP, 0, POINT{3, 4});
            platform::QueueKeyInput(hwnd, WM_KEYDOWN, VK_RETURN, 0);
            PostMessageW(hwnd, WM_USER + 1, 0, 0);
            row.apply(hwnd);
            return 0;
        };
        const HWND hwnd = CreateTestWindow(window, WS_POPUP | WS_VISIBLE);
        PostMessageW(hwnd, WM_USER, 0, 0);
        PumpPending();
        const bool delivered = IndexOf(journal, hwnd, WM_LBUTTONUP) < journal.size() ||
            IndexOf(journal, hwnd, WM_KEYDOWN) < journal.size();
        EXPECT_EQ(delivered, std::string(row.change) == "unchanged") << row.change;
        EXPECT_EQ(UserMessages(journal), (std::vector<UINT>{WM_USER, WM_USER + 1})) << row.change;
        DestroyWindow(hwnd);
    }
}

TEST_F(MessageQueueTest, CaptureRedirectsMouseInputInClientCoordinates)
{
    std::vector<Received> journal;
    TestWindow a{nullptr, &journal}, b{nullptr, &journal};
    const HWND ha = CreateTestWindow(a, WS_POPUP | WS_VISIBLE, 0, nullptr, RECT{100, 100, 200, 200});
    const HWND hb = CreateTestWindow(b, WS_POPUP | WS_VISIBLE, 0, nullptr, RECT{300, 100, 400, 200});
    SetCapture(ha);
    EXPECT_EQ(GetCapture(), ha);
    journal.clear();
    platform::QueueMouseInput(hb, WM_LBUTTONUP, 0, POINT{10, 20});
    PumpPending();
    ReleaseCapture();
    const auto up = IndexOf(journal, ha, WM_LBUTTONUP);
    ASSERT_LT(up, journal.size());
    EXPECT_EQ(journal[up].lParam, MAKELPARAM(210, 20));
    DestroyWindow(ha);
    DestroyWindow(hb);
}

} // namespace
