#include "platform/qt/qt_native_window.h"
#include "platform/core/display_events.h"
#include "platform/core/surface.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace platform {
namespace {

WPARAM VirtualKeyOf(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<WPARAM>('A' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return static_cast<WPARAM>('0' + (key - Qt::Key_0));
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_Tab:
        return VK_TAB;
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Delete:
        return VK_DELETE;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    default:
        return 0;
    }
}

POINT ToPoint(const QPointF& p)
{
    const QPoint rounded = p.toPoint();
    return POINT{rounded.x(), rounded.y()};
}

WPARAM MouseKeys(Qt::MouseButtons buttons) { return (buttons & Qt::LeftButton) ? MK_LBUTTON : 0; }

} // namespace

QtNativeWindow::QtNativeWindow(HWND hwnd, bool toolWindow, bool topmost)
    : hwnd_(hwnd), toolWindow_(toolWindow), topmost_(topmost)
{
    ApplyFlags();
}

void QtNativeWindow::ApplyFlags()
{
    Qt::WindowFlags flags = Qt::FramelessWindowHint;
    flags |= toolWindow_ ? Qt::Tool : Qt::Window;
    if (topmost_)
        flags |= Qt::WindowStaysOnTopHint;
    setFlags(flags);
}

void QtNativeWindow::SetToolWindow(bool toolWindow)
{
    toolWindow_ = toolWindow;
    ApplyFlags();
}

void QtNativeWindow::SetTopmost(bool topmost)
{
    topmost_ = topmost;
    ApplyFlags();
}

void QtNativeWindow::Present(const Surface& surface, const RECT& area)
{
    // Device pixels, copied one to one; the window shows them at its ratio.
    const QImage view(reinterpret_cast<const uchar*>(surface.pixels.data()), surface.width, surface.height,
        surface.width * 4, QImage::Format_ARGB32_Premultiplied);
    const QRect logical(QPoint(area.left, area.top), QPoint(area.right - 1, area.bottom - 1));
    if (presented_.size() != view.size() || presentedScale_ != surface.scale) {
        presented_ = view.copy();
        presentedScale_ = surface.scale;
        update();
        return;
    }
    const int left = static_cast<int>(std::floor(area.left * surface.scale));
    const int top = static_cast<int>(std::floor(area.top * surface.scale));
    const QRect changed =
        QRect(QPoint(left, top),
            QPoint(DevicePixels(area.right, surface.scale) - 1, DevicePixels(area.bottom, surface.scale) - 1)) &
        view.rect();
    QPainter painter(&presented_);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(changed.topLeft(), view, changed);
    painter.end();
    update(logical);
}

void QtNativeWindow::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const double ratio = devicePixelRatio();
    if (presentedScale_ != ratio ||
        presented_.size() != QSize(DevicePixels(width(), ratio), DevicePixels(height(), ratio))) {
        // Nothing of the right size to show yet: a plain background until the window paints.
        painter.fillRect(event->rect(), Qt::white);
        if (hwnd_)
            NoteNativeExposed(hwnd_);
    }
    if (!presented_.isNull())
        painter.drawImage(QRectF(QPointF(0, 0), QSizeF(presented_.size()) / presentedScale_), presented_);
}

bool QtNativeWindow::event(QEvent* event)
{
    if (hwnd_) {
        switch (event->type()) {
        case QEvent::Leave:
            QueueMouseInput(hwnd_, WM_MOUSELEAVE, 0, POINT{});
            break;
        case QEvent::WindowStateChange:
            NoteNativeMinimized(hwnd_, (windowStates() & Qt::WindowMinimized) != 0);
            break;
        default:
            break;
        }
    }
    return QRasterWindow::event(event);
}

void QtNativeWindow::NoteFrame()
{
    if (!hwnd_)
        return;
    const QRect g = geometry();
    NoteNativeFrame(hwnd_, RECT{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
}

HWND QtNativeWindow::BringPopupForward()
{
    const HWND popup = PopupTakingInputFor(hwnd_);
    if (popup)
        RaiseNativeWindow(popup);
    return popup;
}

void QtNativeWindow::mousePressEvent(QMouseEvent* event)
{
    if (!hwnd_ || event->button() != Qt::LeftButton)
        return;
    NoteFrame();
    if (!AcceptsInput(hwnd_)) {
        BringPopupForward();
        return;
    }
    const QPoint global = event->globalPosition().toPoint();
    const LRESULT hit = HitTest(hwnd_, POINT{global.x(), global.y()});
    if (!hwnd_)
        return; // the hit test destroyed the window
    if (hit == HTCAPTION) {
        // The window system moves the window where it can; otherwise the window follows the
        // mouse itself until the button is released.
        if (!startSystemMove())
            dragOffset_ = global - position();
        releaseEndsMove_ = true;
        return;
    }
    QueueMouseInput(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, ToPoint(event->position()));
}

void QtNativeWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (!hwnd_ || event->button() != Qt::LeftButton)
        return;
    if (releaseEndsMove_) {
        releaseEndsMove_ = false;
        dragOffset_.reset();
        return;
    }
    QueueMouseInput(hwnd_, WM_LBUTTONUP, MouseKeys(event->buttons()), ToPoint(event->position()));
}

void QtNativeWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (!hwnd_)
        return;
    if (dragOffset_) {
        setPosition(event->globalPosition().toPoint() - *dragOffset_);
        return;
    }
    QueueMouseInput(hwnd_, WM_MOUSEMOVE, MouseKeys(event->buttons()), ToPoint(event->position()));
}

void QtNativeWindow::keyPressEvent(QKeyEvent* event)
{
    if (!hwnd_)
        return;
    HWND target = hwnd_;
    if (!AcceptsInput(target)) {
        // Keys meant for the popup that holds the input go there.
        target = BringPopupForward();
        if (!target)
            return;
    }
    const WPARAM key = VirtualKeyOf(event->key());
    if (key)
        QueueKeyInput(target, WM_KEYDOWN, key, event->isAutoRepeat() ? (1 << 30) : 0);
    for (const char32_t c : event->text().toStdU32String())
        if (c >= 0x20 && c != 0x7F)
            QueueKeyInput(target, WM_CHAR, static_cast<WPARAM>(c), 0);
}

void QtNativeWindow::keyReleaseEvent(QKeyEvent* event)
{
    if (!hwnd_)
        return;
    if (const WPARAM key = VirtualKeyOf(event->key()))
        QueueKeyInput(hwnd_, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001));
}

void QtNativeWindow::closeEvent(QCloseEvent* event)
{
    // The window stays until the window procedure decides: WM_CLOSE goes to the queue.
    event->ignore();
    if (hwnd_)
        QueueCloseRequest(hwnd_);
}

void QtNativeWindow::moveEvent(QMoveEvent* event)
{
    QRasterWindow::moveEvent(event);
    NoteFrame();
}

void QtNativeWindow::resizeEvent(QResizeEvent* event)
{
    QRasterWindow::resizeEvent(event);
    NoteFrame();
}

void QtNativeWindow::focusInEvent(QFocusEvent* event)
{
    QRasterWindow::focusInEvent(event);
    if (hwnd_)
        NoteNativeActivation(hwnd_, true);
}

void QtNativeWindow::focusOutEvent(QFocusEvent* event)
{
    QRasterWindow::focusOutEvent(event);
    if (hwnd_)
        NoteNativeActivation(hwnd_, false);
}

} // namespace platform
