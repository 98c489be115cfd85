#include "platform/qt/qt_accessibility.h"
#include "platform/accessibility.h"
#include "platform/qt/qt_display.h"
#include "platform/qt/qt_native_window.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QGuiApplication>

#include <map>
#include <memory>

namespace platform {
namespace {

// UI thread only, as every caller is.
std::map<HWND, AccessibleContent*>& Contents()
{
    static std::map<HWND, AccessibleContent*> contents;
    return contents;
}

AccessibleContent* ContentOf(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    const auto found = Contents().find(hwnd);
    return found == Contents().end() ? nullptr : found->second;
}

QtNativeWindow* NativeOf(HWND hwnd)
{
    const auto display = std::dynamic_pointer_cast<QtDisplay>(CurrentDisplay());
    return display ? display->Find(hwnd) : nullptr;
}

bool IsDialog(const QtNativeWindow& window)
{
    return window.IsToolWindow() || (window.Handle() && GetWindow(window.Handle(), GW_OWNER) != nullptr);
}

// A top-level window: a frame or a dialog holding what its content describes.
class WindowInterface final : public QAccessibleInterface {
public:
    explicit WindowInterface(QtNativeWindow* window) : m_window(window) {}

    bool isValid() const override { return m_window->Handle() != nullptr; }
    QObject* object() const override { return m_window; }
    QWindow* window() const override { return m_window; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(qApp); }

    int childCount() const override
    {
        AccessibleContent* content = Content();
        return content ? content->AccessibleChildCount() : 0;
    }
    QAccessibleInterface* child(int index) const override
    {
        AccessibleContent* content = Content();
        return content && index >= 0 ? content->AccessibleChild(index) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        AccessibleContent* content = Content();
        return content ? content->IndexOfAccessibleChild(child) : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = 0, n = childCount(); i < n; ++i) {
            QAccessibleInterface* candidate = child(i);
            if (candidate && candidate->rect().contains(x, y))
                return candidate;
        }
        return nullptr;
    }
    QAccessibleInterface* focusChild() const override
    {
        AccessibleContent* content = Content();
        return content ? content->AccessibleFocusChild() : nullptr;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name)
            return QString();
        AccessibleContent* content = Content();
        const QString name = content ? content->AccessibleName() : QString();
        return name.isEmpty() ? m_window->title() : name;
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override { return m_window->geometry(); }
    QAccessible::Role role() const override { return IsDialog(*m_window) ? QAccessible::Dialog : QAccessible::Window; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        const HWND hwnd = m_window->Handle();
        state.invisible = !m_window->isVisible();
        state.active = m_window->isActive();
        state.focusable = true;
        state.focused = m_window->isActive();
        state.disabled = !hwnd || !IsWindowEnabled(hwnd);
        state.modal = IsDialog(*m_window);
        return state;
    }

private:
    AccessibleContent* Content() const { return ContentOf(m_window->Handle()); }

    QtNativeWindow* m_window;
};

QAccessibleInterface* MakeWindowInterface(const QString&, QObject* object)
{
    if (auto* window = dynamic_cast<QtNativeWindow*>(object))
        return new WindowInterface(window);
    return nullptr;
}

void Notify(QtNativeWindow& window, QAccessible::Event type)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(&window, type);
    QAccessible::updateAccessibility(&event);
}

} // namespace

QAccessibleInterface* QtNativeWindow::accessibleRoot() const
{
    // Hidden windows are no part of what the application shows.
    return isVisible() ? QAccessible::queryAccessibleInterface(const_cast<QtNativeWindow*>(this)) : nullptr;
}

void InstallWindowAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(&MakeWindowInterface);
        return true;
    }();
    static_cast<void>(installed);
}

void AnnounceShownWindow(QtNativeWindow& window)
{
    Notify(window, QAccessible::ObjectShow);
    if (IsDialog(window))
        Notify(window, QAccessible::DialogStart);
}

void ForgetAccessibleContent(QtNativeWindow& window) { Contents().erase(window.Handle()); }

void SetAccessibleContent(HWND hwnd, AccessibleContent* content)
{
    if (content)
        Contents()[hwnd] = content;
    else
        Contents().erase(hwnd);
}

QAccessibleInterface* AccessibleWindow(HWND hwnd)
{
    QtNativeWindow* window = NativeOf(hwnd);
    return window ? QAccessible::queryAccessibleInterface(window) : nullptr;
}

QRect AccessibleScreenRect(HWND hwnd, const RECT& client)
{
    const QtNativeWindow* window = NativeOf(hwnd);
    return window ? window->ClientToGlobal(client) : QRect();
}

void NotifyAccessibleWindowNameChanged(HWND hwnd)
{
    if (QtNativeWindow* window = NativeOf(hwnd))
        Notify(*window, QAccessible::NameChanged);
}

} // namespace platform
