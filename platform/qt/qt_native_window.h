// The native window that mirrors one top-level HWND on the Qt display: frameless, showing the
// image the window presented last, turning Qt input into queued window messages.
//
// A window larger than the available area of its screen at the screen's scale is shown smaller:
// at the largest scale at which it fits (never below one device pixel per window unit), centred
// in the available area. Its window units then stand for `Zoom()` logical pixels of the screen;
// the window core keeps working in units (its frame is the units-sized rectangle around the
// same centre).
#pragma once

#include "platform/win32_window.h"

#include <QImage>
#include <QPoint>
#include <QRasterWindow>

#include <optional>

namespace platform {

struct Surface;

class QtNativeWindow final : public QRasterWindow {
public:
    QtNativeWindow(HWND hwnd, bool toolWindow, bool topmost);

    HWND Handle() const { return m_hwnd; }
    // Puts the window at `frame` (the core's client area on screen, window units), or, when it
    // does not fit on its screen, at the scale that fits, centred; returns the core's frame.
    RECT Place(const RECT& frame);
    // The core's frame of the window as it is now.
    RECT CoreFrame() const;
    // Logical pixels of the screen per window unit: 1 unless the window had to shrink.
    double Zoom() const { return m_zoom; }
    // Device pixels per window unit: what the window's surface is painted at.
    double SurfaceScale() const { return devicePixelRatio() * m_zoom; }
    // A rectangle in client units, in the screen's logical pixels.
    QRect ClientToGlobal(const RECT& client) const;
    bool IsToolWindow() const { return m_toolWindow; }
    void SetToolWindow(bool toolWindow);
    void SetTopmost(bool topmost);
    void Present(const Surface& surface, const RECT& area);
    const QImage& Presented() const { return m_presented; }
    // The core let go of the window: it ignores the window system from now on.
    void Detach() { m_hwnd = nullptr; }
    bool InManualDrag() const { return m_dragOffset.has_value(); }
    // What Qt's accessibility lists for the window (qt_accessibility.cpp).
    QAccessibleInterface* accessibleRoot() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void ApplyFlags();
    void NoteFrame();
    // Input reached this window while it is disabled: the popup that holds the input instead
    // comes forward, as a modal box does on Windows. Returns that popup, or null.
    HWND BringPopupForward();

    POINT ToClient(const QPointF& local) const;

    HWND m_hwnd;
    QSize m_units; // the client size in window units
    double m_zoom = 1.0;
    bool m_toolWindow;
    bool m_topmost;
    QImage m_presented; // device pixels
    double m_presentedScale = 1.0;
    // Set while the window follows the mouse itself because the window system offers no move.
    std::optional<QPoint> m_dragOffset;
    // The press started a move: its release belongs to the move, not to the window.
    bool m_releaseEndsMove = false;
};

} // namespace platform
