#include "dui/accessibility.h"

#include "dui/button.h"
#include "dui/paint_manager.h"
#include "dui/painting.h"
#include "dui/progress.h"

#include "platform/accessibility.h"
#include "platform/paint_surface.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QTextDocumentFragment>

#include <vector>

namespace dui {
namespace {

QAccessible::Role RoleOf(CControlUI& control)
{
    if (control.GetInterface(L"Button"))
        return QAccessible::PushButton;
    if (control.GetInterface(L"Progress"))
        return QAccessible::ProgressBar;
    if (control.GetInterface(L"Label"))
        return QAccessible::StaticText;
    return QAccessible::NoRole;
}

// The text as a person reads it: inline markup taken out.
QString PlainText(CControlUI& control)
{
    const CDuiString text = control.GetText();
    auto* label = static_cast<CLabelUI*>(control.GetInterface(L"Label"));
    if (label && label->IsShowHtml())
        return QTextDocumentFragment::fromHtml(ConvertMarkup(text)).toPlainText();
    return QString::fromStdWString(text.str());
}

QString Wide(const CDuiString& text) { return QString::fromStdWString(text.str()); }

// One control, as long as it exists.
class ControlInterface final : public QAccessibleInterface,
                               public QAccessibleActionInterface,
                               public QAccessibleValueInterface {
public:
    explicit ControlInterface(CControlUI& control) : m_control(control) {}

    bool isValid() const override { return m_control.GetManager() != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return platform::NativeWindowOf(Window()); }
    QAccessibleInterface* parent() const override { return platform::AccessibleWindow(Window()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        const QString text = PlainText(m_control);
        const QString tip = Wide(m_control.GetToolTip());
        switch (t) {
        case QAccessible::Name:
            return text.isEmpty() ? tip : text;
        case QAccessible::Description:
            return text.isEmpty() ? QString() : tip;
        case QAccessible::Value:
            if (auto* progress = Progress())
                return QStringLiteral("%1%").arg(Percent(*progress));
            return QString();
        default:
            return QString();
        }
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override { return platform::AccessibleScreenRect(Window(), m_control.GetPos()); }
    QAccessible::Role role() const override { return RoleOf(m_control); }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.invisible = !m_control.IsShownInTree();
        state.disabled = !m_control.IsEnabled();
        if (auto* button = Button()) {
            state.focusable = true;
            CPaintManagerUI* manager = m_control.GetManager();
            state.focused = manager && manager->GetFocus() == &m_control;
            state.defaultButton = button->IsDefault();
            state.pressed = (button->GetButtonState() & UISTATE_PUSHED) != 0;
            state.hotTracked = (button->GetButtonState() & UISTATE_HOT) != 0;
        }
        if (RoleOf(m_control) == QAccessible::StaticText)
            state.readOnly = true;
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ActionInterface && Button())
            return static_cast<QAccessibleActionInterface*>(this);
        if (type == QAccessible::ValueInterface && Progress())
            return static_cast<QAccessibleValueInterface*>(this);
        return nullptr;
    }

    // ---- Pressing a button -------------------------------------------------------------
    QStringList actionNames() const override
    {
        return Button() ? QStringList{pressAction(), setFocusAction()} : QStringList{};
    }
    void doAction(const QString& action) override
    {
        // Posted, as a click is: the press runs from the window's own loop, with the window's
        // rules for input, and not inside the assistive tool's request.
        if (action == pressAction() || action == setFocusAction())
            PostMessageW(Window(), kAccessiblePressMessage, action == pressAction() ? 1 : 0,
                reinterpret_cast<LPARAM>(&m_control));
    }
    QStringList keyBindingsForAction(const QString& action) const override
    {
        return action == pressAction() ? QStringList{QStringLiteral("Space")} : QStringList{};
    }

    // ---- A progress bar's value --------------------------------------------------------
    QVariant currentValue() const override
    {
        const auto* progress = Progress();
        return progress ? QVariant(progress->GetValue()) : QVariant();
    }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override
    {
        const auto* progress = Progress();
        return progress ? QVariant(progress->GetMaxValue()) : QVariant();
    }
    QVariant minimumValue() const override
    {
        const auto* progress = Progress();
        return progress ? QVariant(progress->GetMinValue()) : QVariant();
    }
    QVariant minimumStepSize() const override { return QVariant(1); }

private:
    HWND Window() const
    {
        const CPaintManagerUI* manager = m_control.GetManager();
        return manager ? manager->GetPaintWindow() : nullptr;
    }
    CButtonUI* Button() const { return static_cast<CButtonUI*>(m_control.GetInterface(L"Button")); }
    CProgressUI* Progress() const { return static_cast<CProgressUI*>(m_control.GetInterface(L"Progress")); }
    static int Percent(const CProgressUI& progress)
    {
        const int span = progress.GetMaxValue() - progress.GetMinValue();
        return span == 0 ? 0 : (progress.GetValue() - progress.GetMinValue()) * 100 / span;
    }

    CControlUI& m_control;
};

QAccessibleInterface* InterfaceOf(CControlUI& control)
{
    if (const unsigned id = control.GetAccessibleId())
        return QAccessible::accessibleInterface(id);
    auto* made = new ControlInterface(control); // the accessibility cache owns it from here
    control.SetAccessibleId(QAccessible::registerAccessibleInterface(made));
    return made;
}

void Notify(CControlUI& control, QAccessible::Event type)
{
    if (!QAccessible::isActive() || !control.GetManager() || !IsAccessibleChild(control))
        return;
    QAccessibleEvent event(InterfaceOf(control), type);
    QAccessible::updateAccessibility(&event);
}

} // namespace

class AccessibleWindow final : public platform::AccessibleContent {
public:
    explicit AccessibleWindow(CPaintManagerUI& manager) : m_manager(manager), m_hwnd(manager.GetPaintWindow())
    {
        platform::SetAccessibleContent(m_hwnd, this);
    }
    ~AccessibleWindow() { platform::SetAccessibleContent(m_hwnd, nullptr); }
    AccessibleWindow(const AccessibleWindow&) = delete;
    AccessibleWindow& operator=(const AccessibleWindow&) = delete;

    int AccessibleChildCount() override { return static_cast<int>(Children().size()); }
    QAccessibleInterface* AccessibleChild(int index) override
    {
        const std::vector<CControlUI*> children = Children();
        return index >= 0 && index < static_cast<int>(children.size()) ? InterfaceOf(*children[index]) : nullptr;
    }
    int IndexOfAccessibleChild(const QAccessibleInterface* child) override
    {
        const std::vector<CControlUI*> children = Children();
        for (std::size_t i = 0; i < children.size(); ++i)
            if (children[i]->GetAccessibleId() &&
                QAccessible::accessibleInterface(children[i]->GetAccessibleId()) == child)
                return static_cast<int>(i);
        return -1;
    }
    QAccessibleInterface* AccessibleFocusChild() override
    {
        CControlUI* focus = m_manager.GetFocus();
        return focus && IsAccessibleChild(*focus) ? InterfaceOf(*focus) : nullptr;
    }
    QString AccessibleName() override
    {
        const CDuiString& titleControl = m_manager.GetTitleControl();
        if (CControlUI* named = titleControl.IsEmpty() ? nullptr : m_manager.FindControl(titleControl.GetData()))
            return PlainText(*named);
        return Wide(m_manager.GetTitle());
    }

private:
    std::vector<CControlUI*> Children() const
    {
        std::vector<CControlUI*> children;
        if (CControlUI* root = m_manager.GetRoot())
            root->ForEach(
                [](CControlUI* control, void* list) {
                    if (IsAccessibleChild(*control))
                        static_cast<std::vector<CControlUI*>*>(list)->push_back(control);
                },
                &children);
        return children;
    }

    CPaintManagerUI& m_manager;
    const HWND m_hwnd;
};

void AccessibleWindowDeleter::operator()(AccessibleWindow* window) const { delete window; }

AccessibleWindowPtr MakeAccessibleWindow(CPaintManagerUI& manager)
{
    return AccessibleWindowPtr(new AccessibleWindow(manager));
}

void ReleaseAccessible(CControlUI& control)
{
    if (const unsigned id = control.GetAccessibleId()) {
        control.SetAccessibleId(0);
        QAccessible::deleteAccessibleInterface(id);
    }
}

bool IsAccessibleChild(CControlUI& control)
{
    if (!control.IsShownInTree())
        return false;
    switch (RoleOf(control)) {
    case QAccessible::PushButton:
    case QAccessible::ProgressBar:
        return true;
    case QAccessible::StaticText:
        return !control.GetText().IsEmpty() || !control.GetName().IsEmpty();
    default:
        return false;
    }
}

void NotifyAccessibleFocus(CControlUI& control) { Notify(control, QAccessible::Focus); }

void NotifyAccessibleText(CControlUI& control)
{
    Notify(control, QAccessible::NameChanged);
    CPaintManagerUI* manager = control.GetManager();
    if (manager && !manager->GetTitleControl().IsEmpty() &&
        manager->FindControl(manager->GetTitleControl().GetData()) == &control && QAccessible::isActive())
        platform::NotifyAccessibleWindowNameChanged(manager->GetPaintWindow());
}

void NotifyAccessibleValue(CControlUI& control)
{
    auto* progress = static_cast<CProgressUI*>(control.GetInterface(L"Progress"));
    if (!progress || !QAccessible::isActive() || !control.GetManager() || !IsAccessibleChild(control))
        return;
    QAccessibleValueChangeEvent event(InterfaceOf(control), progress->GetValue());
    QAccessible::updateAccessibility(&event);
}

} // namespace dui
