// Skinned windows on the real message core and the offscreen Qt display: creation from the
// embedded skin, modal loops, owners, "windowinit", clicks and keys arriving as messages,
// message maps, the caption strip.
#include "skin_fixture.h"

#include "platform/paint_surface.h"
#include "skin/skin_resources.h"

#include <QImage>

#include "control_click.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr UINT kRunTask = WM_USER + 100;

class TestWindow : public WindowImplBase {
public:
    explicit TestWindow(LPCTSTR skin) : m_skin(skin) {}

    LPCTSTR GetWindowClassName() const override { return L"DuiTestWnd"; }
    CDuiString GetSkinFile() override { return m_skin; }
    UILIB_RESOURCETYPE GetResourceType() const override { return UILIB_ZIPRESOURCE; }
    UINT GetResourceID() const override { return kSkinResourceId; }
    void InitWindow() override { ++initWindowCalls; }

    void Notify(TNotifyUI& msg) override
    {
        const CDuiString sender = msg.pSender ? msg.pSender->GetName() : CDuiString();
        notes.push_back((msg.sType + L":" + sender).ToUtf8());
        WindowImplBase::Notify(msg);
    }

    LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled) override
    {
        if (message == kRunTask && !tasks.empty()) {
            auto task = std::move(tasks.front());
            tasks.erase(tasks.begin());
            task();
            handled = TRUE;
            return 0;
        }
        return WindowImplBase::HandleCustomMessage(message, wParam, lParam, handled);
    }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_PAINT)
            ++paints;
        return WindowImplBase::HandleMessage(message, wParam, lParam);
    }

    // Runs `task` from inside the window's message loop.
    void Later(std::function<void()> task)
    {
        tasks.push_back(std::move(task));
        PostMessageW(m_hWnd, kRunTask, 0, 0);
    }

    HWND CreatePopup(HWND owner = nullptr, DWORD style = WS_POPUP | WS_VISIBLE)
    {
        return Create(owner, L"test", style, 0);
    }

    int Count(const std::string& note) const { return static_cast<int>(std::count(notes.begin(), notes.end(), note)); }

    CDuiString m_skin;
    int initWindowCalls = 0;
    int paints = 0;
    std::vector<std::string> notes;
    std::vector<std::function<void()>> tasks;
};

// The message dialog's shape: its own map sends "click" to its own handlers.
class MapWindow : public TestWindow {
public:
    using TestWindow::TestWindow;
    DUI_DECLARE_MESSAGE_MAP()
    void OnConfirm(TNotifyUI&) { Close(1); }
    void OnClick(TNotifyUI& msg) override
    {
        clicks.push_back(msg.pSender->GetName().ToUtf8());
        if (msg.pSender->GetName() == L"cancel_btn")
            Close(0);
        else
            TestWindow::OnClick(msg);
    }
    std::vector<std::string> clicks;
};

DUI_BEGIN_MESSAGE_MAP(MapWindow, WindowImplBase)
DUI_ON_CLICK_CTRNAME(L"confirm_btn", OnConfirm)
DUI_ON_MSGTYPE(DUI_MSGTYPE_CLICK, OnClick)
DUI_END_MESSAGE_MAP()

class SkinnedWindow : public ::testing::Test {
protected:
    void SetUp() override { PrepareSkinTests(); }
};

TEST_F(SkinnedWindow, CreateBuildsTheLayoutSizesTheWindowAndRunsInitWindow)
{
    TestWindow window(L"mainWnd.xml");
    const HWND hwnd = window.Create(nullptr, L"DuiWnd", WS_OVERLAPPEDWINDOW, WS_EX_WINDOWEDGE);
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(window.GetHWND(), hwnd);
    EXPECT_EQ(window.initWindowCalls, 1);
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 590);
    EXPECT_EQ(client.bottom, 420);
    EXPECT_FALSE(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CAPTION);
    EXPECT_TRUE(window.PaintManager().FindControl(L"btnStart"));
    DestroyWindow(hwnd);
}

TEST_F(SkinnedWindow, ClickOnCloseButtonEndsTheModalLoop)
{
    TestWindow window(L"mainWnd.xml");
    const HWND hwnd = window.CreatePopup();
    ASSERT_TRUE(hwnd);
    PostClick(hwnd, CentreOf(window, L"closebtn"));
    EXPECT_EQ(window.ShowModal(), 0u);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(window.Count("click:closebtn"), 1);
}

TEST_F(SkinnedWindow, MinimiseButtonMinimises)
{
    TestWindow window(L"mainWnd.xml");
    const HWND hwnd = window.CreatePopup();
    PostClick(hwnd, CentreOf(window, L"minbtn"));
    window.Later([&] {
        EXPECT_TRUE(IsIconic(hwnd));
        window.Close(3);
    });
    EXPECT_EQ(window.ShowModal(), 3u);
}

TEST_F(SkinnedWindow, ShowModalReturnsTheCodeGivenToClose)
{
    for (const UINT code : {0u, 1u, 7u}) {
        TestWindow window(L"msg.xml");
        window.CreatePopup();
        window.Later([&window, code] { window.Close(code); });
        EXPECT_EQ(window.ShowModal(), code);
    }
    // Closed by the system (WM_CLOSE with wParam 0) or destroyed without a close: 0.
    TestWindow destroyed(L"msg.xml");
    const HWND hwnd = destroyed.CreatePopup();
    destroyed.Later([hwnd] { DestroyWindow(hwnd); });
    EXPECT_EQ(destroyed.ShowModal(), 0u);
}

TEST_F(SkinnedWindow, OwnerIsDisabledWhileAModalChildRuns)
{
    TestWindow owner(L"mainWnd.xml");
    const HWND ownerHwnd = owner.CreatePopup();
    TestWindow child(L"msg.xml");
    child.CreatePopup(ownerHwnd);
    bool enabledDuring = true;
    child.Later([&] {
        enabledDuring = IsWindowEnabled(ownerHwnd);
        child.Close(1);
    });
    EXPECT_EQ(child.ShowModal(), 1u);
    EXPECT_FALSE(enabledDuring);
    EXPECT_TRUE(IsWindowEnabled(ownerHwnd));

    // A child without an owner leaves every window enabled.
    TestWindow free(L"msg.xml");
    free.CreatePopup();
    free.Later([&] {
        enabledDuring = IsWindowEnabled(ownerHwnd);
        free.Close(0);
    });
    free.ShowModal();
    EXPECT_TRUE(enabledDuring);
    DestroyWindow(ownerHwnd);
}

TEST_F(SkinnedWindow, AnOwnerDisabledBeforeTheChildStaysDisabledAfterIt)
{
    TestWindow owner(L"mainWnd.xml");
    const HWND ownerHwnd = owner.CreatePopup();
    EnableWindow(ownerHwnd, FALSE);
    TestWindow child(L"msg.xml");
    child.CreatePopup(ownerHwnd);
    child.Later([&] { child.Close(1); });
    child.ShowModal();
    EXPECT_FALSE(IsWindowEnabled(ownerHwnd));
    DestroyWindow(ownerHwnd);
}

TEST_F(SkinnedWindow, OneQuitUnwindsNestedModalLoops)
{
    TestWindow outer(L"mainWnd.xml");
    outer.CreatePopup();
    TestWindow inner(L"msg.xml");
    bool innerReturned = false;
    outer.Later([&] {
        inner.CreatePopup(outer.GetHWND());
        inner.Later([] { PostQuitMessage(5); });
        inner.ShowModal();
        innerReturned = true;
    });
    outer.ShowModal();
    EXPECT_TRUE(innerReturned);
    // The quit is passed on to whoever runs the next loop.
    MSG msg;
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.wParam, 5u);
}

TEST_F(SkinnedWindow, WindowInitArrivesOnceOnTheFirstPaintAfterShowing)
{
    TestWindow window(L"mainWnd.xml");
    const HWND hwnd = window.Create(nullptr, L"hidden", WS_POPUP, 0);
    ASSERT_TRUE(hwnd);
    UpdateWindow(hwnd);
    EXPECT_EQ(window.Count("windowinit:"), 0);
    window.Later([&] {
        EXPECT_EQ(window.Count("windowinit:"), 1);
        for (int i = 0; i < 3; ++i) {
            InvalidateRect(hwnd, nullptr, FALSE);
            UpdateWindow(hwnd);
        }
        window.Close(1);
    });
    // Shown and painted before the loop runs the task.
    InvalidateRect(hwnd, nullptr, FALSE);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    EXPECT_EQ(window.ShowModal(), 1u);
    EXPECT_EQ(window.Count("windowinit:"), 1);
    EXPECT_GE(window.paints, 4);
}

TEST_F(SkinnedWindow, PaintedWindowShowsWhatTheOffscreenPathPaints)
{
    TestWindow window(L"mainWnd.xml");
    const HWND hwnd = window.CreatePopup();
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
    const QImage shown = platform::PresentedImage(hwnd);
    ASSERT_FALSE(shown.isNull());
    QImage offscreen;
    ASSERT_TRUE(window.PaintManager().RenderToImage(offscreen));
    ASSERT_EQ(shown.size(), offscreen.size());
    const POINT start = CentreOf(window, L"btnStart");
    EXPECT_EQ(shown.pixel(start.x, start.y - 15), offscreen.pixel(start.x, start.y - 15));
    EXPECT_EQ(shown.pixel(100, 300), offscreen.pixel(100, 300));
    DestroyWindow(hwnd);
}

TEST_F(SkinnedWindow, MouseMessagesDriveHotAndPushedStates)
{
    TestWindow window(L"mainWnd.xml");
    const HWND hwnd = window.CreatePopup();
    auto* start = static_cast<CButtonUI*>(window.PaintManager().FindControl(L"btnStart"));
    ASSERT_TRUE(start);
    const POINT centre = CentreOf(window, L"btnStart");
    const LPARAM on = MAKELPARAM(centre.x, centre.y);
    const LPARAM off = MAKELPARAM(10, 300);

    SendMessageW(hwnd, WM_MOUSEMOVE, 0, on);
    EXPECT_EQ(start->GetButtonState(), UISTATE_HOT);
    EXPECT_EQ(window.PaintManager().GetHotControl(), start);
    SendMessageW(hwnd, WM_LBUTTONDOWN, 0, on);
    EXPECT_TRUE(start->GetButtonState() & UISTATE_PUSHED);
    EXPECT_EQ(start->CurrentImage(), start->GetPushedImage());
    // Released away from the button: no click.
    SendMessageW(hwnd, WM_MOUSEMOVE, 0, off);
    EXPECT_FALSE(start->GetButtonState() & UISTATE_PUSHED);
    SendMessageW(hwnd, WM_LBUTTONUP, 0, off);
    EXPECT_EQ(start->GetButtonState(), 0u);
    EXPECT_EQ(window.Count("click:btnStart"), 0);
    // Pressed and released on it: one click.
    SendMessageW(hwnd, WM_MOUSEMOVE, 0, on);
    SendMessageW(hwnd, WM_LBUTTONDOWN, 0, on);
    SendMessageW(hwnd, WM_LBUTTONUP, 0, on);
    EXPECT_EQ(window.Count("click:btnStart"), 1);
    SendMessageW(hwnd, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(start->GetButtonState(), 0u);
    DestroyWindow(hwnd);
}

TEST_F(SkinnedWindow, MessageMapRoutesClicksToTheClassHandlers)
{
    const struct {
        const wchar_t* button;
        UINT result;
        std::vector<std::string> onClick;
    } cases[] = {
        {L"confirm_btn", 1, {}},
        {L"cancel_btn", 0, {"cancel_btn"}},
    };
    for (const auto& c : cases) {
        MapWindow window(L"msg2.xml");
        const HWND hwnd = window.CreatePopup();
        PostClick(hwnd, CentreOf(window, c.button));
        EXPECT_EQ(window.ShowModal(), c.result);
        EXPECT_EQ(window.clicks, c.onClick);
    }
    // The base map still handles what the class leaves: closebtn closes.
    MapWindow main(L"mainWnd.xml");
    const HWND hwnd = main.CreatePopup();
    PostClick(hwnd, CentreOf(main, L"closebtn"));
    EXPECT_EQ(main.ShowModal(), 0u);
    EXPECT_EQ(main.clicks, std::vector<std::string>{"closebtn"});
}

TEST_F(SkinnedWindow, EnterPressesTheDefaultButtonAndEscapeCloses)
{
    MapWindow enter(L"msg2.xml");
    PostMessageW(enter.CreatePopup(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(enter.ShowModal(), 1u);

    MapWindow escape(L"msg2.xml");
    PostMessageW(escape.CreatePopup(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(escape.ShowModal(), 0u);
    EXPECT_TRUE(escape.clicks.empty());
}

TEST_F(SkinnedWindow, CaptionStripDragsExceptOverButtons)
{
    TestWindow window(L"mainWnd.xml");
    const HWND hwnd = window.CreatePopup();
    const auto hitTest = [hwnd](POINT pt) {
        ClientToScreen(hwnd, &pt);
        return SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
    };
    EXPECT_EQ(hitTest(POINT{100, 5}), HTCAPTION);
    EXPECT_EQ(hitTest(POINT{100, 27}), HTCAPTION);
    EXPECT_EQ(hitTest(POINT{100, 28}), HTCLIENT);
    EXPECT_EQ(hitTest(CentreOf(window, L"closebtn")), HTCLIENT);
    EXPECT_EQ(hitTest(CentreOf(window, L"btnStart")), HTCLIENT);
    DestroyWindow(hwnd);
}

TEST_F(SkinnedWindow, CenterWindowCentresOnTheWorkArea)
{
    TestWindow window(L"msg.xml");
    const HWND hwnd = window.CreatePopup();
    window.CenterWindow();
    RECT area;
    RECT rc;
    GetWorkAreaRect(hwnd, &area);
    GetWindowRect(hwnd, &rc);
    EXPECT_LE(std::abs((rc.left + rc.right) - (area.left + area.right)), 1);
    EXPECT_LE(std::abs((rc.top + rc.bottom) - (area.top + area.bottom)), 1);
    DestroyWindow(hwnd);
}

// A dialog that deletes itself in OnFinalMessage, as the message dialog does.
class SelfDeletingWindow : public TestWindow {
public:
    SelfDeletingWindow(bool* deleted) : TestWindow(L"msg.xml"), m_deleted(deleted) {}
    ~SelfDeletingWindow() override { *m_deleted = true; }
    void OnFinalMessage(HWND hwnd) override
    {
        TestWindow::OnFinalMessage(hwnd);
        delete this;
    }
    bool* m_deleted;
};

TEST_F(SkinnedWindow, ShowModalOfASelfDeletingWindowReturnsItsCode)
{
    bool deleted = false;
    auto* dialog = new SelfDeletingWindow(&deleted);
    const HWND hwnd = dialog->CreatePopup();
    PostClick(hwnd, CentreOf(*dialog, L"confirm_btn"));
    dialog->Later([dialog] { dialog->Close(9); });
    EXPECT_EQ(dialog->ShowModal(), 9u);
    EXPECT_TRUE(deleted);
}

} // namespace
