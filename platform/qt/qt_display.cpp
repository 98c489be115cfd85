#include "platform/qt/qt_display.h"
#include "platform/core/display_events.h"
#include "platform/qt/qt_accessibility.h"
#include "platform/qt/qt_icon.h"
#include "platform/qt/qt_native_window.h"
#include "platform/win32_system.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>

#include <algorithm>

namespace platform {
namespace {

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Counts the event handling in progress, so windows are not deleted under their own handlers.
class EventScope {
public:
    explicit EventScope(int& depth) : m_depth(depth) { ++m_depth; }
    ~EventScope() { --m_depth; }
    EventScope(const EventScope&) = delete;
    EventScope& operator=(const EventScope&) = delete;

private:
    int& m_depth;
};

} // namespace

QtDisplay::QtDisplay() : m_eventThread(GetCurrentThreadId())
{
    m_dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread());
    m_waitLimit.setSingleShot(true);
    m_waitLimit.setTimerType(Qt::PreciseTimer);
    InstallWindowAccessibility();
}

QtDisplay::~QtDisplay() { Shut(); }

void QtDisplay::Shut()
{
    {
        std::lock_guard lock(m_wakeMutex);
        m_dispatcher = nullptr;
    }
    for (auto& [hwnd, window] : m_windows)
        window->Detach();
    m_windows.clear();
    m_dead.clear();
}

QtNativeWindow* QtDisplay::Find(HWND hwnd) const
{
    const auto found = m_windows.find(hwnd);
    return found == m_windows.end() ? nullptr : found->second.get();
}

void QtDisplay::CreateNativeWindow(const NativeWindowSpec& spec)
{
    auto window = std::make_unique<QtNativeWindow>(spec.hwnd, spec.toolWindow, spec.topmost);
    window->setTitle(QString::fromStdWString(spec.title));
    if (QtNativeWindow* owner = Find(spec.owner))
        window->setTransientParent(owner);
    const RECT placed = window->Place(spec.frame);
    m_windows[spec.hwnd] = std::move(window);
    if (!SameRect(placed, spec.frame))
        NoteNativeFrame(spec.hwnd, placed);
}

void QtDisplay::DestroyNativeWindow(HWND hwnd)
{
    const auto found = m_windows.find(hwnd);
    if (found == m_windows.end())
        return;
    std::unique_ptr<QtNativeWindow> window = std::move(found->second);
    m_windows.erase(found);
    ForgetAccessibleContent(*window);
    window->Detach();
    for (auto& [other, native] : m_windows)
        if (native->transientParent() == window.get())
            native->setTransientParent(nullptr);
    window->hide();
    m_dead.push_back(std::move(window));
    BuryDeadWindows();
}

void QtDisplay::BuryDeadWindows()
{
    if (m_eventDepth == 0)
        m_dead.clear();
}

void QtDisplay::SetShowState(HWND hwnd, ShowState state, bool activate)
{
    QtNativeWindow* window = Find(hwnd);
    if (!window)
        return;
    switch (state) {
    case ShowState::Hidden:
        window->hide();
        break;
    case ShowState::Minimized:
        window->showMinimized();
        break;
    case ShowState::Normal: {
        const bool wasVisible = window->isVisible();
        window->showNormal();
        if (activate)
            window->requestActivate();
        if (!wasVisible)
            AnnounceShownWindow(*window);
        break;
    }
    }
}

void QtDisplay::SetFrame(HWND hwnd, const RECT& frame)
{
    QtNativeWindow* window = Find(hwnd);
    if (!window)
        return;
    // A window too large for the screen is placed by the display: the core learns where.
    const RECT placed = window->Place(frame);
    if (!SameRect(placed, frame))
        NoteNativeFrame(hwnd, placed);
}

void QtDisplay::SetTopmost(HWND hwnd, bool topmost)
{
    if (QtNativeWindow* window = Find(hwnd))
        window->SetTopmost(topmost);
}

void QtDisplay::SetToolWindow(HWND hwnd, bool toolWindow)
{
    if (QtNativeWindow* window = Find(hwnd))
        window->SetToolWindow(toolWindow);
}

void QtDisplay::SetTitle(HWND hwnd, std::wstring_view title)
{
    if (QtNativeWindow* window = Find(hwnd))
        window->setTitle(QString::fromWCharArray(title.data(), static_cast<qsizetype>(title.size())));
}

void QtDisplay::SetIcon(HWND hwnd, HICON icon)
{
    if (QtNativeWindow* window = Find(hwnd))
        window->setIcon(IconOf(icon));
}

void QtDisplay::Raise(HWND hwnd, bool activate)
{
    QtNativeWindow* window = Find(hwnd);
    if (!window)
        return;
    // The offscreen platform (tests) has no stacking order and says so on every call.
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        window->raise();
    if (activate && window->isVisible())
        window->requestActivate();
}

void QtDisplay::SetBusyPointer(bool busy)
{
    if (busy == m_busyPointer)
        return;
    m_busyPointer = busy;
    if (busy)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QGuiApplication::restoreOverrideCursor();
}

void QtDisplay::Present(HWND hwnd, const Surface& surface, const RECT& area)
{
    if (QtNativeWindow* window = Find(hwnd))
        window->Present(surface, area);
}

double QtDisplay::DevicePixelRatio(HWND hwnd) const
{
    const QtNativeWindow* window = Find(hwnd);
    return window ? window->SurfaceScale() : qGuiApp->devicePixelRatio();
}

RECT QtDisplay::WorkArea(HWND hwnd) const
{
    const QtNativeWindow* window = Find(hwnd);
    const QScreen* screen = window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return RECT{0, 0, 1920, 1080};
    const QRect area = screen->availableGeometry();
    return RECT{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
}

void QtDisplay::ProcessPendingEvents()
{
    {
        EventScope scope(m_eventDepth);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    BuryDeadWindows();
}

void QtDisplay::WaitForEvents(std::optional<std::chrono::milliseconds> timeout)
{
    {
        EventScope scope(m_eventDepth);
        if (timeout)
            m_waitLimit.start(static_cast<int>(std::min<std::chrono::milliseconds::rep>(timeout->count(), INT32_MAX)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        m_waitLimit.stop();
    }
    BuryDeadWindows();
}

void QtDisplay::Wake()
{
    std::lock_guard lock(m_wakeMutex);
    if (m_dispatcher)
        m_dispatcher->wakeUp();
}

} // namespace platform
