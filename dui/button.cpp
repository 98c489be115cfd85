#include "dui/button.h"

#include "dui/attributes.h"
#include "dui/paint_manager.h"

CButtonUI::CButtonUI()
{
    m_textStyle = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
    m_mouseEnabled = true;
}

LPCTSTR CButtonUI::GetClass() const { return L"ButtonUI"; }

void* CButtonUI::GetInterface(LPCTSTR name)
{
    if (CDuiString(L"Button").Compare(name) == 0)
        return this;
    return CLabelUI::GetInterface(name);
}

void CButtonUI::SetNormalImage(LPCTSTR image)
{
    m_normalImage = image;
    Invalidate();
}

void CButtonUI::SetHotImage(LPCTSTR image)
{
    m_hotImage = image;
    Invalidate();
}

void CButtonUI::SetPushedImage(LPCTSTR image)
{
    m_pushedImage = image;
    Invalidate();
}

void CButtonUI::SetDisabledImage(LPCTSTR image)
{
    m_disabledImage = image;
    Invalidate();
}

bool CButtonUI::Activate()
{
    if (!CControlUI::Activate())
        return false;
    if (m_manager)
        m_manager->SendNotify(this, DUI_MSGTYPE_CLICK);
    return true;
}

void CButtonUI::SetEnabled(bool enabled)
{
    if (!enabled)
        m_buttonState = 0;
    CLabelUI::SetEnabled(enabled);
}

void CButtonUI::SetAttribute(LPCTSTR name, LPCTSTR value)
{
    const CDuiString key(name);
    const std::wstring_view v(value ? value : L"");
    if (key == L"normalimage")
        SetNormalImage(value);
    else if (key == L"hotimage")
        SetHotImage(value);
    else if (key == L"pushedimage")
        SetPushedImage(value);
    else if (key == L"disabledimage")
        SetDisabledImage(value);
    else if (key == L"hottextcolor") {
        if (const auto color = dui::ParseColor(v))
            SetHotTextColor(*color);
    } else if (key == L"pushedtextcolor") {
        if (const auto color = dui::ParseColor(v))
            SetPushedTextColor(*color);
    } else if (key == L"default")
        SetDefault(dui::ParseBool(v));
    else
        CLabelUI::SetAttribute(name, value);
}

void CButtonUI::DoEvent(TEventUI& event)
{
    if (!m_enabled)
        return;
    const UINT before = m_buttonState;
    const bool inside = dui::RectContains(m_pos, event.ptMouse);
    switch (event.Type) {
    case UIEVENT_MOUSEENTER:
        m_buttonState |= UISTATE_HOT;
        break;
    case UIEVENT_MOUSELEAVE:
        m_buttonState &= ~UISTATE_HOT;
        if (!(m_buttonState & UISTATE_CAPTURED))
            m_buttonState &= ~UISTATE_PUSHED;
        break;
    case UIEVENT_BUTTONDOWN:
        m_buttonState |= UISTATE_PUSHED | UISTATE_CAPTURED | UISTATE_HOT;
        break;
    case UIEVENT_MOUSEMOVE:
        if (m_buttonState & UISTATE_CAPTURED) {
            if (inside)
                m_buttonState |= UISTATE_PUSHED;
            else
                m_buttonState &= ~UISTATE_PUSHED;
        }
        break;
    case UIEVENT_BUTTONUP:
        if (m_buttonState & UISTATE_CAPTURED) {
            m_buttonState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
            if (!inside)
                m_buttonState &= ~UISTATE_HOT;
            Invalidate();
            // The click may close or destroy the window: nothing of this control is used after.
            if (inside)
                Activate();
            return;
        }
        break;
    default:
        break;
    }
    if (before != m_buttonState)
        Invalidate();
}

const CDuiString& CButtonUI::CurrentImage() const
{
    if (!m_enabled && !m_disabledImage.IsEmpty())
        return m_disabledImage;
    if ((m_buttonState & UISTATE_PUSHED) && !m_pushedImage.IsEmpty())
        return m_pushedImage;
    if ((m_buttonState & (UISTATE_HOT | UISTATE_PUSHED)) && !m_hotImage.IsEmpty())
        return m_hotImage;
    return m_normalImage;
}

void CButtonUI::PaintStatusImage(QPainter& painter)
{
    const CDuiString& image = CurrentImage();
    if (!image.IsEmpty())
        DrawImage(painter, image);
}

DWORD CButtonUI::CurrentTextColor() const
{
    if (!m_enabled)
        return m_disabledTextColor;
    if ((m_buttonState & UISTATE_PUSHED) && m_pushedTextColor)
        return m_pushedTextColor;
    if ((m_buttonState & UISTATE_HOT) && m_hotTextColor)
        return m_hotTextColor;
    return m_textColor;
}
