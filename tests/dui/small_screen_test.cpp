// A window larger than the screen at its scale: the offscreen screen is 800 × 600 and this
// program runs at scale 1.5, where the 590 × 420 main window would take 885 × 630 pixels.
#include "skin_fixture.h"

#include "platform/paint_surface.h"
#include "skin/skin_resources.h"

#include "control_click.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Before the application exists, which reads it once.
const bool g_scaled = setenv("QT_SCALE_FACTOR", "1.5", 1) == 0;

class MainWindow : public WindowImplBase {
public:
    LPCTSTR GetWindowClassName() const override { return L"DuiSmallScreenWnd"; }
    CDuiString GetSkinFile() override { return L"mainWnd.xml"; }
    UILIB_RESOURCETYPE GetResourceType() const override { return UILIB_ZIPRESOURCE; }
    UINT GetResourceID() const override { return kSkinResourceId; }
    void Notify(TNotifyUI& msg) override
    {
        if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender)
            clicked = msg.pSender->GetName();
        else
            WindowImplBase::Notify(msg);
    }
    CDuiString clicked;
};

TEST(SmallScreen, TheMainWindowIsDrawnAtTheScaleThatFitsCentredAndStillTakesClicks)
{
    ASSERT_TRUE(g_scaled);
    PrepareSkinTests();
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_DOUBLE_EQ(screen->devicePixelRatio(), 1.5);
    const QRect area = screen->availableGeometry(); // logical pixels
    ASSERT_LT(area.width(), 590);

    MainWindow window;
    const HWND hwnd = window.Create(nullptr, L"DuiWnd", WS_POPUP | WS_VISIBLE, 0);
    ASSERT_TRUE(hwnd);
    window.CenterWindow();
    const QWindow* native = platform::NativeWindowOf(hwnd);
    ASSERT_TRUE(native);
    const QRect shown = native->geometry();
    EXPECT_TRUE(area.contains(shown)) << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height();
    // The largest scale that fits: the whole width of the screen, the height in proportion.
    EXPECT_EQ(shown.width(), area.width());
    EXPECT_NEAR(shown.height(), 420.0 * area.width() / 590.0, 1.0);
    EXPECT_NEAR(shown.center().y(), area.center().y(), 1.0);
    // The window itself keeps its size in its own units and paints at the smaller scale.
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 590);
    EXPECT_EQ(client.bottom, 420);
    UpdateWindow(hwnd);
    const QImage image = platform::PresentedImage(hwnd);
    EXPECT_NEAR(image.width(), shown.width() * 1.5, 2.0);

    // A click on what is shown of the start button reaches the start button.
    const QRect start = platform::NativeWindowOf(hwnd) ? shown : QRect();
    const POINT centre = CentreOf(window, L"btnStart");
    const double zoom = shown.width() / 590.0;
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(centre.x * zoom, centre.y * zoom),
        start.topLeft() + QPointF(centre.x * zoom, centre.y * zoom), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(platform::NativeWindowOf(hwnd), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, press.position(), press.globalPosition(), Qt::LeftButton,
        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(platform::NativeWindowOf(hwnd), &release);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    EXPECT_EQ(window.clicked, CDuiString(L"btnStart"));
    DestroyWindow(hwnd);
}

} // namespace
