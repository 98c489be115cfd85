// CPaintManagerUI's input side: keyboard focus, tooltips, held input, notifications, and the
// window's messages turned into control events.
#include "dui/paint_manager.h"

#include "dui/attributes.h"
#include "dui/button.h"
#include "dui/paint_manager_impl.h"
#include "dui/painting.h"

#include <QFontMetrics>

#include <algorithm>
#include <vector>

namespace {

POINT PointFromLParam(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

// The window timer that waits out the tooltip delay.
constexpr UINT_PTR kToolTipTimerId = 0xD117;

bool IsInput(UINT message)
{
    return (message >= WM_KEYDOWN && message <= WM_CHAR) || (message >= WM_MOUSEMOVE && message <= WM_MOUSEWHEEL) ||
        message == WM_MOUSEHOVER || message == WM_MOUSELEAVE || message == dui::kAccessiblePressMessage;
}

} // namespace

// ---- Keyboard focus ----------------------------------------------------------------------

bool CPaintManagerUI::IsTabStop(const CControlUI* control)
{
    return control && const_cast<CControlUI*>(control)->GetInterface(L"Button") && control->IsEnabled() &&
        control->IsShownInTree();
}

CControlUI* CPaintManagerUI::GetFocus() const { return IsTabStop(m_impl->focus) ? m_impl->focus : nullptr; }

void CPaintManagerUI::SetFocus(CControlUI* control)
{
    if (control && !IsTabStop(control))
        return;
    CControlUI* previous = m_impl->focus;
    if (previous == control)
        return;
    m_impl->focus = control;
    if (previous)
        previous->Invalidate();
    if (control) {
        control->Invalidate();
        dui::NotifyAccessibleFocus(*control);
    }
}

bool CPaintManagerUI::SetNextTabControl(bool forward)
{
    std::vector<CControlUI*> stops;
    if (m_root)
        m_root->ForEach(
            [](CControlUI* control, void* list) {
                if (IsTabStop(control))
                    static_cast<std::vector<CControlUI*>*>(list)->push_back(control);
            },
            &stops);
    if (stops.empty())
        return false;
    const auto at = std::find(stops.begin(), stops.end(), GetFocus());
    const auto count = static_cast<std::ptrdiff_t>(stops.size());
    std::ptrdiff_t next = 0;
    if (at == stops.end())
        next = forward ? 0 : count - 1;
    else
        next = ((at - stops.begin()) + (forward ? 1 : count - 1)) % count;
    SetFocus(stops[static_cast<std::size_t>(next)]);
    return true;
}

// ---- Tooltips ----------------------------------------------------------------------------

const CDuiString& CPaintManagerUI::GetShownToolTip() const { return m_impl->toolTip; }

RECT CPaintManagerUI::GetToolTipRect() const { return m_impl->toolTip.IsEmpty() ? RECT{} : m_impl->toolTipRect; }

void CPaintManagerUI::HideToolTip()
{
    if (m_impl->toolTipPending && m_hwnd)
        KillTimer(m_hwnd, kToolTipTimerId);
    m_impl->toolTipPending = false;
    if (!m_impl->toolTip.IsEmpty()) {
        m_impl->toolTip = CDuiString();
        Invalidate(m_impl->toolTipRect);
    }
}

void CPaintManagerUI::OnHotChanged()
{
    HideToolTip();
    if (m_hot && m_hwnd && !m_hot->GetToolTip().IsEmpty())
        m_impl->toolTipPending = SetTimer(m_hwnd, kToolTipTimerId, kToolTipDelay, nullptr) != 0;
}

void CPaintManagerUI::OnToolTipTimer()
{
    HideToolTip();
    if (!m_hot || m_hot->GetToolTip().IsEmpty())
        return;
    m_impl->toolTip = m_hot->GetToolTip();
    const QFontMetrics metrics(dui::MakeFont(dui::kToolTipFont));
    const int width =
        metrics.horizontalAdvance(QString::fromStdWString(m_impl->toolTip.str())) + 2 * dui::kToolTipPaddingX;
    const int height = metrics.height() + 2 * dui::kToolTipPaddingY;
    const SIZE client = GetClientSize();
    // Below the pointer; inside the window, above the pointer when there is no room below.
    int x = std::max(0, std::min<int>(m_lastMouse.x, client.cx - width));
    int y = m_lastMouse.y + dui::kToolTipBelowPointer;
    if (y + height > client.cy)
        y = std::max(0, static_cast<int>(m_lastMouse.y) - height - 4);
    m_impl->toolTipRect = RECT{x, y, x + width, y + height};
    Invalidate(m_impl->toolTipRect);
}

// ---- Holding input -----------------------------------------------------------------------

void CPaintManagerUI::HoldInput(InputFilter letThrough)
{
    m_impl->held = std::move(letThrough);
    m_impl->inputHeld = true;
}

void CPaintManagerUI::ReleaseInput()
{
    m_impl->held = nullptr;
    m_impl->inputHeld = false;
}

CInputHold::CInputHold(CPaintManagerUI& manager, CPaintManagerUI::InputFilter letThrough)
    : m_manager(manager), m_alive(manager.m_lifetime.Watch())
{
    m_manager.HoldInput(std::move(letThrough));
}

CInputHold::~CInputHold()
{
    if (m_alive.Alive())
        m_manager.ReleaseInput();
}

// ---- Notifications and messages ----------------------------------------------------------

namespace {

// Adds a listener once; false for null or one already there.
template <typename T>
bool AddOnce(std::vector<T*>& list, T* item)
{
    if (!item || std::find(list.begin(), list.end(), item) != list.end())
        return false;
    list.push_back(item);
    return true;
}

template <typename T>
bool RemoveFrom(std::vector<T*>& list, T* item)
{
    const auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end())
        return false;
    list.erase(it);
    return true;
}

} // namespace

bool CPaintManagerUI::AddNotifier(INotifyUI* notifier) { return AddOnce(m_notifiers, notifier); }

bool CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) { return RemoveFrom(m_notifiers, notifier); }

void CPaintManagerUI::SendNotify(TNotifyUI& msg)
{
    msg.ptMouse = m_lastMouse;
    const CLifeWatch alive = m_lifetime.Watch();
    const std::vector<INotifyUI*> notifiers = m_notifiers;
    for (INotifyUI* notifier : notifiers) {
        // A handler may remove notifiers or destroy the window and this manager with it.
        if (!alive.Alive())
            return;
        if (std::find(m_notifiers.begin(), m_notifiers.end(), notifier) == m_notifiers.end())
            continue;
        notifier->Notify(msg);
    }
}

void CPaintManagerUI::SendNotify(CControlUI* sender, LPCTSTR type, WPARAM wParam, LPARAM lParam)
{
    TNotifyUI msg;
    msg.sType = type;
    msg.pSender = sender;
    msg.wParam = wParam;
    msg.lParam = lParam;
    SendNotify(msg);
}

bool CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* filter) { return AddOnce(m_preFilters, filter); }

bool CPaintManagerUI::RemovePreMessageFilter(IMessageFilterUI* filter) { return RemoveFrom(m_preFilters, filter); }

bool CPaintManagerUI::MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (m_impl->inputHeld && IsInput(message) && !LetThroughHeld(message, wParam, lParam)) {
        result = 0;
        return true;
    }
    const std::vector<IMessageFilterUI*> filters = m_preFilters;
    const CLifeWatch alive = m_lifetime.Watch();
    for (IMessageFilterUI* filter : filters) {
        bool handled = false;
        const LRESULT filtered = filter->MessageHandler(message, wParam, lParam, handled);
        if (handled) {
            result = filtered;
            return true;
        }
        if (!alive.Alive())
            return true;
    }
    if (!m_hwnd)
        return false;

    result = 0;
    switch (message) {
    case WM_PAINT:
        OnPaint();
        return true;
    case WM_SIZE:
        NeedUpdate();
        UpdateLayout();
        return false;
    default:
        break;
    }
    // Hit tests need the layout of the present size, even before the first paint.
    UpdateLayout();
    switch (message) {
    case WM_MOUSEMOVE:
        OnMouseMove(PointFromLParam(lParam));
        return true;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        OnButtonDown(PointFromLParam(lParam));
        return true;
    case WM_LBUTTONUP:
        OnButtonUp(PointFromLParam(lParam));
        return true;
    case WM_KEYDOWN:
        return OnKeyDown(wParam, lParam);
    case WM_TIMER:
        if (wParam != kToolTipTimerId)
            return false;
        OnToolTipTimer();
        return true;
    case WM_KILLFOCUS:
        HideToolTip();
        return false;
    default:
        if (message == dui::kAccessiblePressMessage) {
            OnAccessiblePress(reinterpret_cast<CControlUI*>(lParam), wParam != 0);
            return true;
        }
        return false;
    }
}

bool CPaintManagerUI::OnKeyDown(WPARAM key, LPARAM flags)
{
    HideToolTip();
    if (!m_impl->showFocusRing) {
        m_impl->showFocusRing = true;
        if (CControlUI* focus = GetFocus())
            focus->Invalidate();
    }
    if (key == VK_TAB) {
        SetNextTabControl(GetKeyState(static_cast<int>(VK_SHIFT)) >= 0);
        return true;
    }
    if (key == VK_SPACE) {
        CControlUI* focus = GetFocus();
        // One press per key press, not one per repeat while it is held.
        if (focus && !(flags & (1 << 30)))
            focus->Activate(); // may close the window: the last use of this manager
        return focus != nullptr;
    }
    return false;
}

bool CPaintManagerUI::InTree(const CControlUI* control) const
{
    bool present = false;
    if (m_root) {
        std::pair<const CControlUI*, bool*> search{control, &present};
        m_root->ForEach(
            [](CControlUI* candidate, void* context) {
                auto* wanted = static_cast<std::pair<const CControlUI*, bool*>*>(context);
                if (candidate == wanted->first)
                    *wanted->second = true;
            },
            &search);
    }
    return present;
}

bool CPaintManagerUI::LetThroughHeld(UINT message, WPARAM wParam, LPARAM lParam) const
{
    if (!m_impl->held)
        return false;
    if (message != dui::kAccessiblePressMessage)
        return m_impl->held(message, wParam, lParam);
    // An assistive tool's press counts as a click at the control's centre.
    const auto* control = reinterpret_cast<const CControlUI*>(lParam);
    if (!InTree(control))
        return false;
    const RECT& pos = control->GetPos();
    const LPARAM centre = MAKELPARAM((pos.left + pos.right) / 2, (pos.top + pos.bottom) / 2);
    return m_impl->held(WM_LBUTTONDOWN, MK_LBUTTON, centre) && m_impl->held(WM_LBUTTONUP, 0, centre);
}

void CPaintManagerUI::OnAccessiblePress(CControlUI* control, bool press)
{
    // The control may have gone since the press was asked for; the window may take no input.
    if (!InTree(control) || !IsTabStop(control) || !IsWindowVisible(m_hwnd) || !IsWindowEnabled(m_hwnd))
        return;
    if (press)
        control->Activate();
    else
        SetFocus(control);
}

void CPaintManagerUI::SendEvent(CControlUI* control, int type, POINT pt)
{
    TEventUI event;
    event.Type = type;
    event.pSender = control;
    event.ptMouse = pt;
    control->DoEvent(event);
}

void CPaintManagerUI::OnMouseMove(POINT pt)
{
    m_lastMouse = pt;
    if (m_pushed)
        SendEvent(m_pushed, UIEVENT_MOUSEMOVE, pt);
    CControlUI* target = m_root ? m_root->FindControlAt(pt, true) : nullptr;
    if (target && !target->IsEnabled())
        target = nullptr;
    if (target == m_hot)
        return;
    CControlUI* previous = m_hot;
    m_hot = target;
    OnHotChanged();
    if (previous)
        SendEvent(previous, UIEVENT_MOUSELEAVE, pt);
    if (target)
        SendEvent(target, UIEVENT_MOUSEENTER, pt);
}

void CPaintManagerUI::OnMouseLeave()
{
    HideToolTip();
    if (CControlUI* previous = m_hot) {
        m_hot = nullptr;
        SendEvent(previous, UIEVENT_MOUSELEAVE, m_lastMouse);
    }
}

void CPaintManagerUI::OnButtonDown(POINT pt)
{
    m_lastMouse = pt;
    CControlUI* target = m_root ? m_root->FindControlAt(pt, true) : nullptr;
    HideToolTip();
    if (!target || !target->IsEnabled())
        return;
    if (IsTabStop(target)) {
        SetFocus(target);
        m_impl->showFocusRing = false;
        target->Invalidate();
    }
    m_pushed = target;
    if (m_hwnd)
        SetCapture(m_hwnd);
    SendEvent(target, UIEVENT_BUTTONDOWN, pt);
}

void CPaintManagerUI::OnButtonUp(POINT pt)
{
    m_lastMouse = pt;
    if (m_hwnd)
        ReleaseCapture();
    CControlUI* target = m_pushed;
    m_pushed = nullptr;
    // Last step: the control's click may close the window and end this manager.
    if (target)
        SendEvent(target, UIEVENT_BUTTONUP, pt);
}
