#include "platform/qt/qt_native_window.h"
#include "platform/core/display_events.h"
#include "platform/core/surface.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
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
    case Qt::Key_Backtab: // Shift+Tab
        return VK_TAB;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Alt:
        return VK_MENU;
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

DWORD ModifiersOf(Qt::KeyboardModifiers modifiers)
{
    DWORD bits = 0;
    if (modifiers & Qt::ShiftModifier)
        bits |= kKeyModifierShift;
    if (modifiers & Qt::ControlModifier)
        bits |= kKeyModifierControl;
    if (modifiers & Qt::AltModifier)
        bits |= kKeyModifierAlt;
    return bits;
}

WPARAM MouseKeys(Qt::MouseButtons buttons) { return (buttons & Qt::LeftButton) ? MK_LBUTTON : 0; }

} // namespace

QtNativeWindow::QtNativeWindow(HWND hwnd, bool toolWindow, bool topmost)
    : m_hwnd(hwnd), m_toolWindow(toolWindow), m_topmost(topmost)
{
    ApplyFlags();
}

RECT QtNativeWindow::Place(const RECT& frame)
{
    m_units = QSize(std::max<LONG>(frame.right - frame.left, 1), std::max<LONG>(frame.bottom - frame.top, 1));
    const QPoint centre((frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2);
    QScreen* where = QGuiApplication::screenAt(centre);
    if (!where)
        where = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect area = where ? where->availableGeometry() : QRect();
    if (area.isEmpty() || (m_units.width() <= area.width() && m_units.height() <= area.height())) {
        m_zoom = 1.0;
        setGeometry(QRect(QPoint(frame.left, frame.top), m_units));
        return CoreFrame();
    }
    // Device pixels per unit that make it fit, at least one; as logical pixels per unit.
    const double ratio = where->devicePixelRatio();
    const double fit = std::min(area.width() * ratio / m_units.width(), area.height() * ratio / m_units.height());
    m_zoom = std::min(1.0, std::max(fit, 1.0) / ratio);
    const QSize shown(std::max(1, static_cast<int>(std::floor(m_units.width() * m_zoom + 1e-6))),
        std::max(1, static_cast<int>(std::floor(m_units.height() * m_zoom + 1e-6))));
    // Centred; one still too large (already at one device pixel per unit) keeps its top left
    // corner, where its title strip is, on the screen.
    const QPoint topLeft(std::max(area.left(), area.left() + (area.width() - shown.width()) / 2),
        std::max(area.top(), area.top() + (area.height() - shown.height()) / 2));
    setGeometry(QRect(topLeft, shown));
    return CoreFrame();
}

RECT QtNativeWindow::CoreFrame() const
{
    const QRect g = geometry();
    const QSize units = m_units.isEmpty() ? g.size() : m_units;
    const int left = g.left() + (g.width() - units.width()) / 2;
    const int top = g.top() + (g.height() - units.height()) / 2;
    return RECT{left, top, left + units.width(), top + units.height()};
}

QRect QtNativeWindow::ClientToGlobal(const RECT& client) const
{
    const QPoint origin = geometry().topLeft();
    const auto at = [this](LONG units) { return static_cast<int>(std::lround(units * m_zoom)); };
    return QRect(QPoint(origin.x() + at(client.left), origin.y() + at(client.top)),
        QPoint(origin.x() + at(client.right) - 1, origin.y() + at(client.bottom) - 1));
}

POINT QtNativeWindow::ToClient(const QPointF& local) const
{
    return POINT{
        static_cast<LONG>(std::lround(local.x() / m_zoom)), static_cast<LONG>(std::lround(local.y() / m_zoom))};
}

void QtNativeWindow::ApplyFlags()
{
    Qt::WindowFlags flags = Qt::FramelessWindowHint;
    flags |= m_toolWindow ? Qt::Tool : Qt::Window;
    if (m_topmost)
        flags |= Qt::WindowStaysOnTopHint;
    setFlags(flags);
}

void QtNativeWindow::SetToolWindow(bool toolWindow)
{
    m_toolWindow = toolWindow;
    ApplyFlags();
}

void QtNativeWindow::SetTopmost(bool topmost)
{
    m_topmost = topmost;
    ApplyFlags();
}

void QtNativeWindow::Present(const Surface& surface, const RECT& area)
{
    // Device pixels, copied one to one; the window shows them at its ratio.
    const QImage view(reinterpret_cast<const uchar*>(surface.pixels.data()), surface.width, surface.height,
        surface.width * 4, QImage::Format_ARGB32_Premultiplied);
    const QRect logical =
        QRectF(QPointF(area.left * m_zoom, area.top * m_zoom), QPointF(area.right * m_zoom, area.bottom * m_zoom))
            .toAlignedRect();
    if (m_presented.size() != view.size() || m_presentedScale != surface.scale) {
        m_presented = view.copy();
        m_presentedScale = surface.scale;
        update();
        return;
    }
    const int left = static_cast<int>(std::floor(area.left * surface.scale));
    const int top = static_cast<int>(std::floor(area.top * surface.scale));
    const QRect changed =
        QRect(QPoint(left, top),
            QPoint(DevicePixels(area.right, surface.scale) - 1, DevicePixels(area.bottom, surface.scale) - 1)) &
        view.rect();
    QPainter painter(&m_presented);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(changed.topLeft(), view, changed);
    painter.end();
    update(logical);
}

void QtNativeWindow::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const double ratio = SurfaceScale();
    const QSize units = m_units.isEmpty() ? size() : m_units;
    if (m_presentedScale != ratio ||
        m_presented.size() != QSize(DevicePixels(units.width(), ratio), DevicePixels(units.height(), ratio))) {
        // Nothing of the right size to show yet: a plain background until the window paints.
        painter.fillRect(event->rect(), Qt::white);
        if (m_hwnd)
            NoteNativeExposed(m_hwnd);
    }
    if (!m_presented.isNull())
        painter.drawImage(QRectF(QPointF(0, 0), QSizeF(m_presented.size()) * (m_zoom / m_presentedScale)), m_presented);
}

bool QtNativeWindow::event(QEvent* event)
{
    if (m_hwnd) {
        switch (event->type()) {
        case QEvent::Leave:
            QueueMouseInput(m_hwnd, WM_MOUSELEAVE, 0, POINT{});
            break;
        case QEvent::WindowStateChange:
            NoteNativeMinimized(m_hwnd, (windowStates() & Qt::WindowMinimized) != 0);
            break;
        default:
            break;
        }
    }
    return QRasterWindow::event(event);
}

void QtNativeWindow::NoteFrame()
{
    if (!m_hwnd)
        return;
    // Shown one to one, the window system may size it; shrunk, it keeps its units.
    if (m_zoom == 1.0)
        m_units = size();
    NoteNativeFrame(m_hwnd, CoreFrame());
}

HWND QtNativeWindow::BringPopupForward()
{
    const HWND popup = PopupTakingInputFor(m_hwnd);
    if (popup)
        RaiseNativeWindow(popup);
    return popup;
}

void QtNativeWindow::mousePressEvent(QMouseEvent* event)
{
    if (!m_hwnd || event->button() != Qt::LeftButton)
        return;
    NoteFrame();
    if (!AcceptsInput(m_hwnd)) {
        BringPopupForward();
        return;
    }
    const QPoint global = event->globalPosition().toPoint();
    const RECT core = CoreFrame();
    const POINT client = ToClient(event->position());
    const LRESULT hit = HitTest(m_hwnd, POINT{core.left + client.x, core.top + client.y});
    if (!m_hwnd)
        return; // the hit test destroyed the window
    if (hit == HTCAPTION) {
        // The window system moves the window where it can; otherwise the window follows the
        // mouse itself until the button is released.
        if (!startSystemMove())
            m_dragOffset = global - position();
        m_releaseEndsMove = true;
        return;
    }
    QueueMouseInput(m_hwnd, WM_LBUTTONDOWN, MK_LBUTTON, ToClient(event->position()));
}

void QtNativeWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_hwnd || event->button() != Qt::LeftButton)
        return;
    if (m_releaseEndsMove) {
        m_releaseEndsMove = false;
        m_dragOffset.reset();
        return;
    }
    QueueMouseInput(m_hwnd, WM_LBUTTONUP, MouseKeys(event->buttons()), ToClient(event->position()));
}

void QtNativeWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_hwnd)
        return;
    if (m_dragOffset) {
        setPosition(event->globalPosition().toPoint() - *m_dragOffset);
        return;
    }
    QueueMouseInput(m_hwnd, WM_MOUSEMOVE, MouseKeys(event->buttons()), ToClient(event->position()));
}

void QtNativeWindow::keyPressEvent(QKeyEvent* event)
{
    if (!m_hwnd)
        return;
    HWND target = m_hwnd;
    if (!AcceptsInput(target)) {
        // Keys meant for the popup that holds the input go there.
        target = BringPopupForward();
        if (!target)
            return;
    }
    const WPARAM key = VirtualKeyOf(event->key());
    const DWORD modifiers = ModifiersOf(event->modifiers());
    if (key)
        QueueKeyInput(target, WM_KEYDOWN, key, event->isAutoRepeat() ? (1 << 30) : 0, modifiers);
    for (const char32_t c : event->text().toStdU32String())
        if (c >= 0x20 && c != 0x7F)
            QueueKeyInput(target, WM_CHAR, static_cast<WPARAM>(c), 0, modifiers);
}

void QtNativeWindow::keyReleaseEvent(QKeyEvent* event)
{
    if (!m_hwnd)
        return;
    if (const WPARAM key = VirtualKeyOf(event->key()))
        QueueKeyInput(m_hwnd, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001), ModifiersOf(event->modifiers()));
}

void QtNativeWindow::closeEvent(QCloseEvent* event)
{
    // The window stays until the window procedure decides: WM_CLOSE goes to the queue.
    event->ignore();
    if (m_hwnd)
        QueueCloseRequest(m_hwnd);
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
    if (m_hwnd)
        NoteNativeActivation(m_hwnd, true);
}

void QtNativeWindow::focusOutEvent(QFocusEvent* event)
{
    QRasterWindow::focusOutEvent(event);
    if (m_hwnd)
        NoteNativeActivation(m_hwnd, false);
}

} // namespace platform
