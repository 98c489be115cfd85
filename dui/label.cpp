#include "dui/label.h"

#include "dui/attributes.h"
#include "dui/paint_manager.h"
#include "dui/painting.h"

#include <QPainter>

CLabelUI::CLabelUI() = default;

LPCTSTR CLabelUI::GetClass() const { return L"LabelUI"; }

void* CLabelUI::GetInterface(LPCTSTR name)
{
    if (CDuiString(L"Label").Compare(name) == 0)
        return this;
    return CControlUI::GetInterface(name);
}

void CLabelUI::SetFont(int id)
{
    m_font = id;
    Invalidate();
}

void CLabelUI::SetTextColor(DWORD argb)
{
    m_textColor = argb;
    Invalidate();
}

void CLabelUI::SetDisabledTextColor(DWORD argb)
{
    m_disabledTextColor = argb;
    Invalidate();
}

void CLabelUI::SetTextStyle(UINT style)
{
    m_textStyle = style;
    Invalidate();
}

void CLabelUI::SetTextPadding(RECT rc)
{
    m_textPadding = rc;
    Invalidate();
}

void CLabelUI::SetShowHtml(bool show)
{
    m_showHtml = show;
    Invalidate();
}

void CLabelUI::SetAttribute(LPCTSTR name, LPCTSTR value)
{
    const CDuiString key(name);
    const std::wstring_view v(value ? value : L"");
    if (key == L"font") {
        SetFont(dui::ParseInt(v, -1));
    } else if (key == L"textcolor") {
        if (const auto color = dui::ParseColor(v))
            SetTextColor(*color);
    } else if (key == L"disabledtextcolor") {
        if (const auto color = dui::ParseColor(v))
            SetDisabledTextColor(*color);
    } else if (key == L"align") {
        m_textStyle &= ~(DT_CENTER | DT_RIGHT);
        if (v == L"center")
            m_textStyle |= DT_CENTER;
        else if (v == L"right")
            m_textStyle |= DT_RIGHT;
    } else if (key == L"valign") {
        m_textStyle &= ~(DT_VCENTER | DT_BOTTOM);
        if (v == L"center" || v == L"vcenter")
            m_textStyle |= DT_VCENTER;
        else if (v == L"bottom")
            m_textStyle |= DT_BOTTOM;
    } else if (key == L"textpadding") {
        SetTextPadding(dui::ParseRect(v));
    } else if (key == L"showhtml") {
        SetShowHtml(dui::ParseBool(v));
    } else if (key == L"shrinktofit") {
        m_shrinkToFit = dui::ParseBool(v);
        Invalidate();
    } else if (key == L"endellipsis") {
        if (dui::ParseBool(v))
            m_textStyle |= DT_END_ELLIPSIS;
        else
            m_textStyle &= ~DT_END_ELLIPSIS;
    } else if (key == L"multiline" || key == L"wordbreak") {
        if (dui::ParseBool(v)) {
            m_textStyle &= ~DT_SINGLELINE;
            m_textStyle |= DT_WORDBREAK;
        } else {
            m_textStyle &= ~DT_WORDBREAK;
            m_textStyle |= DT_SINGLELINE;
        }
    } else {
        CControlUI::SetAttribute(name, value);
    }
}

DWORD CLabelUI::CurrentTextColor() const { return m_enabled ? m_textColor : m_disabledTextColor; }

void CLabelUI::PaintText(QPainter& painter)
{
    if (!m_manager)
        return;
    const CDuiString text = GetText();
    if (text.IsEmpty())
        return;
    const dui::FittedText shown = Fitted();
    dui::DrawText(painter, text, shown.area, shown.font, dui::ToQColor(CurrentTextColor()), m_textStyle, m_showHtml);
}

dui::FittedText CLabelUI::Fitted() const
{
    QFont font = m_manager ? m_manager->GetQFont(m_font) : QFont();
    const QRect area = dui::ToQRect(TextArea());
    if (!m_shrinkToFit)
        return dui::FittedText{font, area};
    const QRect box =
        dui::ToQRect(RECT{m_pos.left + m_textPadding.left, m_pos.top, m_pos.right - m_textPadding.right, m_pos.bottom});
    return dui::FitText(GetText(), area, box, font, m_textStyle, m_showHtml);
}

RECT CLabelUI::ShownTextArea() const
{
    const QRect area = Fitted().area;
    return RECT{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
}

RECT CLabelUI::TextArea() const
{
    return RECT{m_pos.left + m_textPadding.left, m_pos.top + m_textPadding.top, m_pos.right - m_textPadding.right,
        m_pos.bottom - m_textPadding.bottom};
}

QFont CLabelUI::ShownFont() const { return Fitted().font; }

CTextUI::CTextUI() { m_textStyle = DT_WORDBREAK; }

LPCTSTR CTextUI::GetClass() const { return L"TextUI"; }

void* CTextUI::GetInterface(LPCTSTR name)
{
    if (CDuiString(L"Text").Compare(name) == 0)
        return this;
    return CLabelUI::GetInterface(name);
}
