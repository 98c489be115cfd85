#include "dui/control.h"

#include "dui/accessibility.h"
#include "dui/attributes.h"
#include "dui/paint_manager.h"
#include "dui/painting.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

CControlUI::CControlUI() = default;

CControlUI::~CControlUI()
{
    if (m_manager)
        m_manager->ForgetControl(this);
    dui::ReleaseAccessible(*this);
}

LPCTSTR CControlUI::GetClass() const { return L"ControlUI"; }

void* CControlUI::GetInterface(LPCTSTR name)
{
    if (CDuiString(L"Control").Compare(name) == 0)
        return this;
    return nullptr;
}

void CControlUI::SetText(LPCTSTR text)
{
    if (m_text == CDuiString(text))
        return;
    m_text = text;
    Invalidate();
    if (m_manager)
        m_manager->NoteTextChanged(this);
}

void CControlUI::SetPos(RECT rc)
{
    for (LONG* side : {&rc.left, &rc.top, &rc.right, &rc.bottom})
        *side = std::clamp(*side, -dui::kLargestCoordinate, dui::kLargestCoordinate);
    if (rc.right < rc.left)
        rc.right = rc.left;
    if (rc.bottom < rc.top)
        rc.bottom = rc.top;
    Invalidate();
    m_pos = rc;
    Invalidate();
}

void CControlUI::SetPadding(RECT rc)
{
    m_padding = rc;
    NeedParentUpdate();
}

void CControlUI::SetFixedWidth(int cx)
{
    m_fixedWidth = cx < 0 ? 0 : cx;
    NeedParentUpdate();
}

void CControlUI::SetFixedHeight(int cy)
{
    m_fixedHeight = cy < 0 ? 0 : cy;
    NeedParentUpdate();
}

void CControlUI::SetBkColor(DWORD argb)
{
    m_bkColor = argb;
    Invalidate();
}

void CControlUI::SetBkImage(LPCTSTR image)
{
    m_bkImage = image;
    Invalidate();
}

void CControlUI::SetBorderColor(DWORD argb)
{
    m_borderColor = argb;
    Invalidate();
}

void CControlUI::SetBorderSize(int size)
{
    m_borderSize = size < 0 ? 0 : size;
    Invalidate();
}

void CControlUI::SetVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    NeedParentUpdate();
}

void CControlUI::SetEnabled(bool enabled)
{
    m_enabled = enabled;
    Invalidate();
}

bool CControlUI::Activate() { return m_visible && m_enabled; }

void CControlUI::SetManager(CPaintManagerUI* manager, CControlUI* parent)
{
    m_manager = manager;
    m_parent = parent;
}

void CControlUI::Invalidate()
{
    if (m_manager && m_visible && !dui::RectIsEmpty(m_pos))
        m_manager->Invalidate(m_pos);
}

void CControlUI::NeedUpdate()
{
    if (m_manager)
        m_manager->NeedUpdate();
}

void CControlUI::NeedParentUpdate() { NeedUpdate(); }

void CControlUI::SetAttribute(LPCTSTR name, LPCTSTR value)
{
    const CDuiString key(name);
    const std::wstring_view v(value ? value : L"");
    if (key == L"name")
        SetName(value);
    else if (key == L"text")
        SetText(value);
    else if (key == L"tooltip")
        SetToolTip(value);
    else if (key == L"width")
        SetFixedWidth(dui::ParseLength(v));
    else if (key == L"height")
        SetFixedHeight(dui::ParseLength(v));
    else if (key == L"padding")
        SetPadding(dui::ParseRect(v));
    else if (key == L"bkcolor") {
        if (const auto color = dui::ParseColor(v))
            SetBkColor(*color);
    } else if (key == L"bkimage")
        SetBkImage(value);
    else if (key == L"bordercolor") {
        if (const auto color = dui::ParseColor(v))
            SetBorderColor(*color);
    } else if (key == L"bordersize")
        SetBorderSize(dui::ParseLength(v));
    else if (key == L"visible")
        SetVisible(dui::ParseBool(v));
    else if (key == L"enabled")
        SetEnabled(dui::ParseBool(v));
    else if (key == L"mouse")
        SetMouseEnabled(dui::ParseBool(v));
}

CControlUI* CControlUI::FindControlAt(POINT pt, bool mouseOnly)
{
    if (!m_visible || !dui::RectContains(m_pos, pt))
        return nullptr;
    if (mouseOnly && !m_mouseEnabled)
        return nullptr;
    return this;
}

CControlUI* CControlUI::FindControlByName(const CDuiString& name)
{
    return m_name.CompareNoCase(name) == 0 ? this : nullptr;
}

void CControlUI::ForEach(void (*visit)(CControlUI*, void*), void* context) { visit(this, context); }

void CControlUI::DoEvent(TEventUI&) {}

bool CControlUI::IsShownInTree() const
{
    for (const CControlUI* control = this; control; control = control->m_parent)
        if (!control->m_visible)
            return false;
    return !dui::RectIsEmpty(m_pos);
}

void CControlUI::DoPaint(QPainter& painter)
{
    if (!m_visible || dui::RectIsEmpty(m_pos))
        return;
    PaintBkColor(painter);
    PaintBkImage(painter);
    PaintStatusImage(painter);
    PaintText(painter);
    PaintBorder(painter);
}

void CControlUI::PaintBkColor(QPainter& painter)
{
    if (m_bkColor >> 24)
        painter.fillRect(dui::ToQRect(m_pos), dui::ToQColor(m_bkColor));
}

void CControlUI::PaintBkImage(QPainter& painter)
{
    if (!m_bkImage.IsEmpty())
        DrawImage(painter, m_bkImage);
}

void CControlUI::PaintStatusImage(QPainter&) {}

void CControlUI::PaintText(QPainter&) {}

void CControlUI::PaintBorder(QPainter& painter)
{
    if (m_borderSize <= 0 || !(m_borderColor >> 24))
        return;
    const QRect outer = dui::ToQRect(m_pos);
    const QColor color = dui::ToQColor(m_borderColor);
    const int s = std::min({m_borderSize, outer.width() / 2 + 1, outer.height() / 2 + 1});
    painter.fillRect(QRect(outer.left(), outer.top(), outer.width(), s), color);
    painter.fillRect(QRect(outer.left(), outer.bottom() + 1 - s, outer.width(), s), color);
    painter.fillRect(QRect(outer.left(), outer.top() + s, s, outer.height() - 2 * s), color);
    painter.fillRect(QRect(outer.right() + 1 - s, outer.top() + s, s, outer.height() - 2 * s), color);
}

bool CControlUI::DrawImage(QPainter& painter, const CDuiString& image, const RECT* dest)
{
    if (!m_manager || image.IsEmpty())
        return false;
    const dui::ImageSpec spec = dui::ParseImageSpec(image);
    const QImage* decoded = m_manager->GetImage(spec.file);
    if (!decoded)
        return false;
    dui::DrawImage(painter, *decoded, spec, dui::ToQRect(dest ? *dest : m_pos));
    return true;
}
