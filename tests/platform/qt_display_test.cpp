// Windows on the Qt display (offscreen): native flags and geometry, input turned into
// messages after the hit test, caption drags, close requests, painting.
#include "platform/paint_surface.h"
#include "platform/qt/qt_icon.h"
#include "platform/win32_system.h"
#include "test_window.h"
#include "ui_session_environment.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>

using namespace platform::testing;

namespace {

// The test registers an icon of its own: no skin.
const auto* const g_ui =
    ::testing::AddGlobalTestEnvironment(new UiSessionEnvironment(UiSessionEnvironment::Skin::None));

constexpr int kCaptionHeight = 28;

class QtDisplayTest : public ::testing::Test {
protected:
    void TearDown() override { DrainQueue(); }

    // A window that answers HTCAPTION in its top strip, as the skinned windows do.
    HWND CreateCaptionWindow(
        TestWindow& window, DWORD style = WS_POPUP | WS_VISIBLE, DWORD exStyle = 0, HWND owner = nullptr)
    {
        window.handler = [](HWND hwnd, UINT message, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
            if (message != WM_NCHITTEST)
                return std::nullopt;
            POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ScreenToClient(hwnd, &point);
            return point.y < kCaptionHeight ? HTCAPTION : HTCLIENT;
        };
        return CreateTestWindow(window, style, exStyle, owner, RECT{200, 150, 790, 570});
    }
};

void SendMouse(QWindow* window, QEvent::Type type, QPoint local, Qt::MouseButtons buttons)
{
    const QPointF global = QPointF(window->position() + local);
    QMouseEvent event(type, QPointF(local), global, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
        Qt::NoModifier);
    QCoreApplication::sendEvent(window, &event);
}

std::vector<Received> Only(const std::vector<Received>& journal, UINT message)
{
    std::vector<Received> picked;
    std::copy_if(journal.begin(), journal.end(), std::back_inserter(picked),
        [&](const Received& r) { return r.message == message; });
    return picked;
}

TEST_F(QtDisplayTest, NativeWindowHasTheSizeAndFlagsOfTheWindow)
{
    TestWindow owner, tool, plain;
    const HWND ho = CreateCaptionWindow(owner);
    const HWND ht = CreateCaptionWindow(tool, WS_POPUP, WS_EX_TOOLWINDOW, ho);
    const HWND hp = CreateCaptionWindow(plain, WS_POPUP | WS_VISIBLE);
    PumpPending();

    QWindow* native = platform::NativeWindowOf(ho);
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(native->geometry(), QRect(200, 150, 590, 420));
    EXPECT_TRUE(native->isVisible());
    EXPECT_TRUE(native->flags() & Qt::FramelessWindowHint);
    EXPECT_EQ(native->flags() & Qt::WindowType_Mask, Qt::Window);
    EXPECT_FALSE(native->flags() & Qt::WindowStaysOnTopHint);

    QWindow* toolNative = platform::NativeWindowOf(ht);
    ASSERT_NE(toolNative, nullptr);
    EXPECT_EQ(toolNative->flags() & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_EQ(toolNative->transientParent(), native);
    EXPECT_FALSE(toolNative->isVisible());

    SetWindowPos(ht, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_TRUE(toolNative->flags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(toolNative->flags() & Qt::FramelessWindowHint);
    ShowWindow(ht, SW_SHOWNORMAL);
    EXPECT_TRUE(toolNative->isVisible());

    MoveWindow(hp, 10, 20, 300, 200, TRUE);
    PumpPending();
    EXPECT_EQ(platform::NativeWindowOf(hp)->geometry(), QRect(10, 20, 300, 200));
    ShowWindow(hp, SW_MINIMIZE);
    EXPECT_TRUE(platform::NativeWindowOf(hp)->windowStates() & Qt::WindowMinimized);
    ShowWindow(hp, SW_HIDE);
    EXPECT_FALSE(platform::NativeWindowOf(hp)->isVisible());

    DestroyWindow(hp);
    DestroyWindow(ho);
    EXPECT_EQ(platform::NativeWindowOf(ho), nullptr);
    EXPECT_EQ(platform::NativeWindowOf(ht), nullptr);
}

TEST_F(QtDisplayTest, PressInTheCaptionMovesTheWindowAndReachesNoHandler)
{
    std::vector<Received> journal;
    TestWindow window{nullptr, &journal};
    const HWND hwnd = CreateCaptionWindow(window);
    PumpPending();
    QWindow* native = platform::NativeWindowOf(hwnd);
    ASSERT_NE(native, nullptr);
    journal.clear();

    SendMouse(native, QEvent::MouseButtonPress, QPoint(100, 10), Qt::LeftButton);
    // Offscreen has no window-system move: the window follows the mouse itself.
    SendMouse(native, QEvent::MouseMove, QPoint(130, 30), Qt::LeftButton);
    SendMouse(native, QEvent::MouseButtonRelease, QPoint(100, 10), Qt::NoButton);
    PumpPending();

    EXPECT_EQ(native->position(), QPoint(230, 170));
    RECT rect;
    GetWindowRect(hwnd, &rect);
    EXPECT_EQ(rect.left, 230);
    EXPECT_EQ(rect.top, 170);
    EXPECT_TRUE(Only(journal, WM_LBUTTONDOWN).empty());
    EXPECT_TRUE(Only(journal, WM_LBUTTONUP).empty());
    EXPECT_FALSE(Only(journal, WM_NCHITTEST).empty());
    DestroyWindow(hwnd);
}

TEST_F(QtDisplayTest, PressOutsideTheCaptionArrivesAsButtonMessagesInClientCoordinates)
{
    std::vector<Received> journal;
    TestWindow window{nullptr, &journal};
    const HWND hwnd = CreateCaptionWindow(window);
    PumpPending();
    QWindow* native = platform::NativeWindowOf(hwnd);
    journal.clear();

    SendMouse(native, QEvent::MouseMove, QPoint(290, 300), Qt::NoButton);
    SendMouse(native, QEvent::MouseButtonPress, QPoint(295, 305), Qt::LeftButton);
    SendMouse(native, QEvent::MouseButtonRelease, QPoint(295, 305), Qt::NoButton);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(native, &leave);
    PumpPending();

    std::vector<UINT> mouse;
    for (const Received& r : journal)
        if (r.message == WM_MOUSEMOVE || r.message == WM_LBUTTONDOWN || r.message == WM_LBUTTONUP ||
            r.message == WM_MOUSELEAVE)
            mouse.push_back(r.message);
    EXPECT_EQ(mouse, (std::vector<UINT>{WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSELEAVE}));
    const auto down = Only(journal, WM_LBUTTONDOWN);
    ASSERT_EQ(down.size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(down[0].lParam), 295);
    EXPECT_EQ(GET_Y_LPARAM(down[0].lParam), 305);
    EXPECT_EQ(down[0].wParam, MK_LBUTTON);
    EXPECT_EQ(native->position(), QPoint(200, 150));
    DestroyWindow(hwnd);
}

TEST_F(QtDisplayTest, DisabledWindowIgnoresMouseKeysAndCloseRequests)
{
    std::vector<Received> journal;
    TestWindow window{nullptr, &journal};
    const HWND hwnd = CreateCaptionWindow(window);
    PumpPending();
    QWindow* native = platform::NativeWindowOf(hwnd);
    EnableWindow(hwnd, FALSE);
    journal.clear();

    SendMouse(native, QEvent::MouseButtonPress, QPoint(100, 10), Qt::LeftButton); // caption
    SendMouse(native, QEvent::MouseMove, QPoint(150, 60), Qt::LeftButton);
    SendMouse(native, QEvent::MouseButtonRelease, QPoint(150, 60), Qt::NoButton);
    SendMouse(native, QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton); // client
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(native, &key);
    native->close();
    PumpPending();

    EXPECT_EQ(native->position(), QPoint(200, 150));
    EXPECT_TRUE(Only(journal, WM_LBUTTONDOWN).empty());
    EXPECT_TRUE(Only(journal, WM_KEYDOWN).empty());
    EXPECT_TRUE(Only(journal, WM_CLOSE).empty());
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(native->isVisible());
    EnableWindow(hwnd, TRUE);
    DestroyWindow(hwnd);
}

TEST_F(QtDisplayTest, KeysArriveAsKeyDownWithVirtualKeysAndCharacters)
{
    std::vector<Received> journal;
    TestWindow window{nullptr, &journal};
    const HWND hwnd = CreateCaptionWindow(window);
    PumpPending();
    QWindow* native = platform::NativeWindowOf(hwnd);
    journal.clear();

    const struct {
        Qt::Key key;
        QString text;
        WPARAM vk;
    } keys[] = {{Qt::Key_Return, QStringLiteral("\r"), VK_RETURN}, {Qt::Key_Enter, QStringLiteral("\r"), VK_RETURN},
        {Qt::Key_Escape, QStringLiteral("\x1b"), VK_ESCAPE}, {Qt::Key_A, QStringLiteral("a"), WPARAM('A')}};
    for (const auto& k : keys) {
        QKeyEvent press(QEvent::KeyPress, k.key, Qt::NoModifier, k.text);
        QCoreApplication::sendEvent(native, &press);
    }
    PumpPending();
    const auto down = Only(journal, WM_KEYDOWN);
    ASSERT_EQ(down.size(), std::size(keys));
    for (std::size_t i = 0; i < down.size(); ++i)
        EXPECT_EQ(down[i].wParam, keys[i].vk) << i;
    const auto chars = Only(journal, WM_CHAR);
    ASSERT_EQ(chars.size(), 1u);
    EXPECT_EQ(chars[0].wParam, WPARAM('a'));
    DestroyWindow(hwnd);
}

TEST_F(QtDisplayTest, CloseRequestFromTheWindowSystemBecomesWmClose)
{
    std::vector<Received> journal;
    TestWindow window{nullptr, &journal};
    const HWND hwnd = CreateCaptionWindow(window);
    PumpPending();
    QWindow* native = platform::NativeWindowOf(hwnd);

    // The handler keeps the window the first time and lets the default destroy it the second.
    int closes = 0;
    window.handler = [&](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_CLOSE && ++closes == 1)
            return 0;
        return std::nullopt;
    };
    native->close();
    PumpPending();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(native->isVisible());

    QCloseEvent close;
    QCoreApplication::sendEvent(native, &close);
    EXPECT_FALSE(close.isAccepted());
    PumpPending();
    EXPECT_EQ(closes, 2);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(QtDisplayTest, BeginPaintGivesAnImageOfTheClientSizeThatEndPaintShows)
{
    QSize painted;
    QColor colour = Qt::red;
    TestWindow window;
    window.handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message != WM_PAINT)
            return std::nullopt;
        PAINTSTRUCT ps;
        QImage* image = platform::SurfaceImage(BeginPaint(hwnd, &ps));
        EXPECT_NE(image, nullptr);
        if (image) {
            painted = image->size();
            EXPECT_EQ(image->format(), QImage::Format_ARGB32_Premultiplied);
            QPainter(image).fillRect(image->rect(), colour);
        }
        EndPaint(hwnd, &ps);
        return 0;
    };
    const HWND hwnd = CreateTestWindow(window, WS_POPUP | WS_VISIBLE, 0, nullptr, RECT{0, 0, 360, 200});
    PumpPending();
    EXPECT_EQ(painted, QSize(360, 200));
    QImage shown = platform::PresentedImage(hwnd);
    ASSERT_EQ(shown.size(), QSize(360, 200));
    EXPECT_EQ(shown.pixelColor(180, 100), QColor(Qt::red));

    colour = Qt::blue;
    SetWindowPos(hwnd, nullptr, 0, 0, 590, 420, SWP_NOMOVE | SWP_NOZORDER);
    PumpPending();
    EXPECT_EQ(painted, QSize(590, 420));
    shown = platform::PresentedImage(hwnd);
    ASSERT_EQ(shown.size(), QSize(590, 420));
    EXPECT_EQ(shown.pixelColor(500, 400), QColor(Qt::blue));
    EXPECT_EQ(platform::SurfaceImage(nullptr), nullptr);
    DestroyWindow(hwnd);
}

TEST_F(QtDisplayTest, IconFromTheResourcesReachesTheNativeWindow)
{
    QImage picture(64, 64, QImage::Format_ARGB32);
    picture.fill(QColor(0x30, 0x80, 0xD0));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&buffer, "PNG"));
    // Resource data must stay valid for the rest of the program.
    static const QByteArray kept = png;
    platform::RegisterResource(RT_ICON, 101, kept.constData(), static_cast<std::size_t>(kept.size()));

    const HINSTANCE module = GetModuleHandleW(nullptr);
    const HICON icon = LoadIconW(module, MAKEINTRESOURCEW(101));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(LoadIconW(module, MAKEINTRESOURCEW(101)), icon);
    EXPECT_EQ(LoadIconW(module, MAKEINTRESOURCEW(102)), nullptr);
    EXPECT_EQ(icon->image.size(), QSize(64, 64));

    TestWindow window;
    const HWND hwnd = CreateTestWindow(window, WS_POPUP | WS_VISIBLE);
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    const QIcon shown = platform::NativeWindowOf(hwnd)->icon();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.pixmap(64, 64).toImage().pixelColor(32, 32), QColor(0x30, 0x80, 0xD0));
    DestroyWindow(hwnd);
}

} // namespace
