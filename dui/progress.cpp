#include "dui/progress.h"

#include "dui/attributes.h"
#include "dui/paint_manager.h"
#include "dui/painting.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

CProgressUI::CProgressUI() { m_textStyle = DT_SINGLELINE | DT_VCENTER | DT_CENTER; }

LPCTSTR CProgressUI::GetClass() const { return L"ProgressUI"; }

void* CProgressUI::GetInterface(LPCTSTR name)
{
    if (CDuiString(L"Progress").Compare(name) == 0)
        return this;
    return CLabelUI::GetInterface(name);
}

void CProgressUI::SetMinValue(int value)
{
    m_min = value;
    SetValue(m_value);
    Invalidate();
}

void CProgressUI::SetMaxValue(int value)
{
    m_max = value;
    SetValue(m_value);
    Invalidate();
}

void CProgressUI::SetValue(int value)
{
    const int low = std::min(m_min, m_max);
    const int high = std::max(m_min, m_max);
    value = std::clamp(value, low, high);
    if (value == m_value)
        return;
    m_value = value;
    Invalidate();
    if (m_manager)
        m_manager->NoteValueChanged(this);
}

void CProgressUI::SetForeImage(LPCTSTR image)
{
    m_foreImage = image;
    Invalidate();
}

void CProgressUI::SetHorizontal(bool horizontal)
{
    m_horizontal = horizontal;
    Invalidate();
}

RECT CProgressUI::FilledRect() const
{
    RECT rc = m_pos;
    const long long range = static_cast<long long>(m_max) - m_min;
    const long long done = range > 0 ? static_cast<long long>(m_value) - m_min : 0;
    if (m_horizontal) {
        const long long width = dui::RectWidth(m_pos);
        rc.right = rc.left + static_cast<LONG>(range > 0 ? width * done / range : 0);
    } else {
        const long long height = dui::RectHeight(m_pos);
        rc.top = rc.bottom - static_cast<LONG>(range > 0 ? height * done / range : 0);
    }
    return rc;
}

void CProgressUI::SetAttribute(LPCTSTR name, LPCTSTR value)
{
    const CDuiString key(name);
    const std::wstring_view v(value ? value : L"");
    if (key == L"foreimage")
        SetForeImage(value);
    else if (key == L"min")
        SetMinValue(dui::ParseInt(v));
    else if (key == L"max")
        SetMaxValue(dui::ParseInt(v));
    else if (key == L"value")
        SetValue(dui::ParseInt(v));
    else if (key == L"hor")
        SetHorizontal(dui::ParseBool(v));
    else
        CLabelUI::SetAttribute(name, value);
}

void CProgressUI::PaintStatusImage(QPainter& painter)
{
    if (m_foreImage.IsEmpty() || !m_manager)
        return;
    const RECT filled = FilledRect();
    if (dui::RectIsEmpty(filled))
        return;
    const dui::ImageSpec spec = dui::ParseImageSpec(m_foreImage);
    const QImage* image = m_manager->GetImage(spec.file);
    if (!image)
        return;
    const RECT& c = spec.corner;
    if (c.left || c.top || c.right || c.bottom) {
        // A sliced image keeps its rounded ends at any length.
        dui::DrawImage(painter, *image, spec, dui::ToQRect(filled));
        return;
    }
    // A plain image is laid over the whole bar and shown up to the value, so it never squeezes.
    painter.save();
    painter.setClipRect(dui::ToQRect(filled), Qt::IntersectClip);
    dui::DrawImage(painter, *image, spec, dui::ToQRect(m_pos));
    painter.restore();
}
