// MessageBoxW on the Qt display: modal over a disabled owner, closed by Enter, Escape or the
// OK button, run on the UI thread when a worker asks, traced.
#include "platform/paint_surface.h"
#include "platform/ui_thread.h"
#include "platform/user_text_trace.h"
#include "platform/win32_system.h"
#include "test_window.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <string>

using namespace platform::testing;

namespace {

constexpr wchar_t kCaption[] = L"提示";

// What the timer does once the box is up, from inside the box's own loop.
std::function<void(HWND box)> onBoxShown;

BOOL CALLBACK_FindBox(HWND hwnd, LPARAM found)
{
    wchar_t text[16] = {};
    GetWindowTextW(hwnd, text, 16);
    if (std::wstring(text) == kCaption && IsWindowVisible(hwnd)) {
        *reinterpret_cast<HWND*>(found) = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK_WhenBoxShown(HWND, UINT, UINT_PTR, DWORD)
{
    HWND box = nullptr;
    EnumWindows(CALLBACK_FindBox, reinterpret_cast<LPARAM>(&box));
    if (!box || !onBoxShown)
        return;
    auto act = std::move(onBoxShown);
    onBoxShown = nullptr;
    act(box);
}

void PressKey(HWND box, Qt::Key key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(platform::NativeWindowOf(box), &press);
}

void Click(HWND box, QPoint at)
{
    QWindow* native = platform::NativeWindowOf(box);
    const QPointF global = QPointF(native->position() + at);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(native, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(native, &release);
}

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetUserTextTrace([this](std::wstring_view text) { m_traced.emplace_back(text); });
        m_timer = SetTimer(nullptr, 0, 10, CALLBACK_WhenBoxShown);
    }
    void TearDown() override
    {
        KillTimer(nullptr, m_timer);
        platform::SetUserTextTrace(nullptr);
        onBoxShown = nullptr;
        DrainQueue();
    }

    std::vector<std::wstring> m_traced;
    UINT_PTR m_timer = 0;
};

TEST_F(MessageBoxTest, ModalOverADisabledOwnerAndClosedByEnterEvenWhenTheOwnerHasTheKeyboard)
{
    TestWindow owner;
    const HWND ho = CreateTestWindow(owner, WS_POPUP | WS_VISIBLE);
    bool ownerEnabledInside = true;
    bool topmost = false;
    QSize presented;
    onBoxShown = [&](HWND box) {
        ownerEnabledInside = IsWindowEnabled(ho) != FALSE;
        topmost = platform::NativeWindowOf(box)->flags() & Qt::WindowStaysOnTopHint;
        UpdateWindow(box);
        presented = platform::PresentedImage(box).size();
        // The window system gave the keyboard to the disabled owner: the key goes to the box.
        PressKey(ho, Qt::Key_Return);
    };
    EXPECT_EQ(MessageBoxW(ho, L"文件写入失败，程序终止", kCaption, MB_OK), IDOK);
    EXPECT_FALSE(ownerEnabledInside);
    EXPECT_TRUE(topmost);
    EXPECT_FALSE(presented.isEmpty());
    EXPECT_TRUE(IsWindowEnabled(ho));
    EXPECT_EQ(m_traced, std::vector<std::wstring>{L"文件写入失败，程序终止"});
    DestroyWindow(ho);
}

TEST_F(MessageBoxTest, EscapeAndTheOkButtonCloseItButAClickElsewhereDoesNot)
{
    onBoxShown = [](HWND box) { PressKey(box, Qt::Key_Escape); };
    EXPECT_EQ(MessageBoxW(nullptr, L"Escape", kCaption, MB_OK), IDOK);

    bool stillOpenAfterStrayClick = false;
    onBoxShown = [&](HWND box) {
        RECT client;
        GetClientRect(box, &client);
        Click(box, QPoint(5, client.bottom / 2));
        platform::testing::PumpPending();
        stillOpenAfterStrayClick = IsWindow(box) != FALSE;
        // The OK button sits centred at the bottom.
        Click(box, QPoint(client.right / 2, client.bottom - 30));
    };
    EXPECT_EQ(MessageBoxW(nullptr, L"OK button", kCaption, MB_OK), IDOK);
    EXPECT_TRUE(stillOpenAfterStrayClick);
}

TEST_F(MessageBoxTest, AWorkersBoxRunsOnTheUiThread)
{
    TestWindow window;
    const HWND hwnd = CreateTestWindow(window);
    DWORD boxThread = 0;
    onBoxShown = [&](HWND box) {
        boxThread = GetWindowThreadProcessId(box, nullptr);
        PressKey(box, Qt::Key_Escape);
    };
    auto worker = std::async(std::launch::async, [hwnd] {
        const int result = MessageBoxW(nullptr, L"网络不可用，请稍后再试。", kCaption, MB_OK);
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
        return result;
    });
    MSG msg;
    while (IsWindow(hwnd) && GetMessageW(&msg, nullptr, 0, 0))
        DispatchMessageW(&msg);
    EXPECT_EQ(worker.get(), IDOK);
    EXPECT_EQ(boxThread, GetCurrentThreadId());
    EXPECT_EQ(m_traced, std::vector<std::wstring>{L"网络不可用，请稍后再试。"});
}

TEST_F(MessageBoxTest, AQuitEndsTheBoxAndGoesOnOutward)
{
    HWND seen = nullptr;
    onBoxShown = [&](HWND box) {
        seen = box;
        PostQuitMessage(4);
    };
    EXPECT_EQ(MessageBoxW(nullptr, L"quit", kCaption, MB_OK), IDOK);
    EXPECT_NE(seen, nullptr);
    EXPECT_FALSE(IsWindow(seen));
    MSG msg;
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.wParam, 4u);
}

} // namespace
