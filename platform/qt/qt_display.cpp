#include "platform/qt/qt_display.h"
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

QRect ToQRect(const RECT& r)
{
    return QRect(r.left, r.top, std::max<LONG>(r.right - r.left, 1), std::max<LONG>(r.bottom - r.top, 1));
}

// Counts the event handling in progress, so windows are not deleted under their own handlers.
class EventScope {
public:
    explicit EventScope(int& depth) : depth_(depth) { ++depth_; }
    ~EventScope() { --depth_; }
    EventScope(const EventScope&) = delete;
    EventScope& operator=(const EventScope&) = delete;

private:
    int& depth_;
};

} // namespace

QtDisplay::QtDisplay() : eventThread_(GetCurrentThreadId())
{
    dispatcher_ = QAbstractEventDispatcher::instance(QThread::currentThread());
    waitLimit_.setSingleShot(true);
    waitLimit_.setTimerType(Qt::PreciseTimer);
}

QtDisplay::~QtDisplay() { Shut(); }

void QtDisplay::Shut()
{
    {
        std::lock_guard lock(wakeMutex_);
        dispatcher_ = nullptr;
    }
    for (auto& [hwnd, window] : windows_)
        window->Detach();
    windows_.clear();
    dead_.clear();
}

QtNativeWindow* QtDisplay::Find(HWND hwnd) const
{
    const auto found = windows_.find(hwnd);
    return found == windows_.end() ? nullptr : found->second.get();
}

void QtDisplay::CreateNativeWindow(const NativeWindowSpec& spec)
{
    auto window = std::make_unique<QtNativeWindow>(spec.hwnd, spec.toolWindow, spec.topmost);
    window->setTitle(QString::fromStdWString(spec.title));
    window->setGeometry(ToQRect(spec.frame));
    if (QtNativeWindow* owner = Find(spec.owner))
        window->setTransientParent(owner);
    windows_[spec.hwnd] = std::move(window);
}

void QtDisplay::DestroyNativeWindow(HWND hwnd)
{
    const auto found = windows_.find(hwnd);
    if (found == windows_.end())
        return;
    std::unique_ptr<QtNativeWindow> window = std::move(found->second);
    windows_.erase(found);
    window->Detach();
    for (auto& [other, native] : windows_)
        if (native->transientParent() == window.get())
            native->setTransientParent(nullptr);
    window->hide();
    dead_.push_back(std::move(window));
    BuryDeadWindows();
}

void QtDisplay::BuryDeadWindows()
{
    if (eventDepth_ == 0)
        dead_.clear();
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
    case ShowState::Normal:
        window->showNormal();
        if (activate)
            window->requestActivate();
        break;
    }
}

void QtDisplay::SetFrame(HWND hwnd, const RECT& frame)
{
    if (QtNativeWindow* window = Find(hwnd))
        window->setGeometry(ToQRect(frame));
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
    if (busy == busyPointer_)
        return;
    busyPointer_ = busy;
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
    return window ? window->devicePixelRatio() : qGuiApp->devicePixelRatio();
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
        EventScope scope(eventDepth_);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    BuryDeadWindows();
}

void QtDisplay::WaitForEvents(std::optional<std::chrono::milliseconds> timeout)
{
    {
        EventScope scope(eventDepth_);
        if (timeout)
            waitLimit_.start(static_cast<int>(std::min<std::chrono::milliseconds::rep>(timeout->count(), INT32_MAX)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        waitLimit_.stop();
    }
    BuryDeadWindows();
}

void QtDisplay::Wake()
{
    std::lock_guard lock(wakeMutex_);
    if (dispatcher_)
        dispatcher_->wakeUp();
}

} // namespace platform
