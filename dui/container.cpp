#include "dui/container.h"

#include "dui/attributes.h"
#include "dui/paint_manager.h"

#include <algorithm>

namespace {

// Sizes along the layout's axis: fixed children keep theirs, the rest share what is left;
// the pixels of an uneven share go to the first flexible children.
std::vector<int> ShareAxis(const std::vector<CControlUI*>& children, int available, int childPadding, bool horizontal)
{
    // Counted in 64 bits: many children of the largest size pass the int range.
    long long used = 0;
    int flexible = 0;
    for (const CControlUI* child : children) {
        const RECT& pad = child->GetPadding();
        const int fixed = horizontal ? child->GetFixedWidth() : child->GetFixedHeight();
        used +=
            horizontal ? static_cast<long long>(pad.left) + pad.right : static_cast<long long>(pad.top) + pad.bottom;
        if (fixed > 0)
            used += fixed;
        else
            ++flexible;
    }
    if (!children.empty())
        used += static_cast<long long>(childPadding) * static_cast<long long>(children.size() - 1);
    const int remaining = static_cast<int>(std::clamp<long long>(available - used, 0, dui::kLargestCoordinate));
    const int share = flexible ? remaining / flexible : 0;
    int extra = flexible ? remaining % flexible : 0;
    std::vector<int> sizes;
    sizes.reserve(children.size());
    for (const CControlUI* child : children) {
        const int fixed = horizontal ? child->GetFixedWidth() : child->GetFixedHeight();
        if (fixed > 0) {
            sizes.push_back(fixed);
        } else {
            sizes.push_back(share + (extra > 0 ? 1 : 0));
            --extra;
        }
    }
    return sizes;
}

// A position along the axis, kept where SetPos keeps every position.
int Coordinate(long long position)
{
    return static_cast<int>(std::clamp<long long>(position, -dui::kLargestCoordinate, dui::kLargestCoordinate));
}

} // namespace

LPCTSTR CContainerUI::GetClass() const { return L"ContainerUI"; }

void* CContainerUI::GetInterface(LPCTSTR name)
{
    if (CDuiString(L"Container").Compare(name) == 0)
        return this;
    return CControlUI::GetInterface(name);
}

bool CContainerUI::Add(std::unique_ptr<CControlUI> child)
{
    if (!child)
        return false;
    child->SetManager(m_manager, this);
    m_items.push_back(std::move(child));
    NeedUpdate();
    return true;
}

void CContainerUI::SetInset(RECT inset)
{
    m_inset = inset;
    NeedUpdate();
}

void CContainerUI::SetChildPadding(int padding)
{
    m_childPadding = padding;
    NeedUpdate();
}

RECT CContainerUI::InnerRect() const
{
    RECT rc = m_pos;
    rc.left += m_inset.left;
    rc.top += m_inset.top;
    rc.right -= m_inset.right;
    rc.bottom -= m_inset.bottom;
    if (rc.right < rc.left)
        rc.right = rc.left;
    if (rc.bottom < rc.top)
        rc.bottom = rc.top;
    return rc;
}

void CContainerUI::SetPos(RECT rc)
{
    CControlUI::SetPos(rc);
    const RECT inner = InnerRect();
    for (const auto& item : m_items) {
        if (!item->IsVisible())
            continue;
        const RECT& pad = item->GetPadding();
        RECT child{inner.left + pad.left, inner.top + pad.top, inner.right - pad.right, inner.bottom - pad.bottom};
        if (item->GetFixedWidth() > 0)
            child.right = child.left + item->GetFixedWidth();
        if (item->GetFixedHeight() > 0)
            child.bottom = child.top + item->GetFixedHeight();
        item->SetPos(child);
    }
}

void CContainerUI::SetManager(CPaintManagerUI* manager, CControlUI* parent)
{
    CControlUI::SetManager(manager, parent);
    for (const auto& item : m_items)
        item->SetManager(manager, this);
}

void CContainerUI::SetAttribute(LPCTSTR name, LPCTSTR value)
{
    const CDuiString key(name);
    if (key == L"inset")
        SetInset(dui::ParseRect(value ? value : L""));
    else if (key == L"childpadding")
        SetChildPadding(dui::ParseLength(value ? value : L""));
    else
        CControlUI::SetAttribute(name, value);
}

CControlUI* CContainerUI::FindControlAt(POINT pt, bool mouseOnly)
{
    if (!m_visible || !dui::RectContains(m_pos, pt))
        return nullptr;
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
        if (CControlUI* found = (*it)->FindControlAt(pt, mouseOnly))
            return found;
    }
    return CControlUI::FindControlAt(pt, mouseOnly);
}

CControlUI* CContainerUI::FindControlByName(const CDuiString& name)
{
    if (CControlUI* self = CControlUI::FindControlByName(name))
        return self;
    for (const auto& item : m_items) {
        if (CControlUI* found = item->FindControlByName(name))
            return found;
    }
    return nullptr;
}

void CContainerUI::ForEach(void (*visit)(CControlUI*, void*), void* context)
{
    visit(this, context);
    for (const auto& item : m_items)
        item->ForEach(visit, context);
}

std::vector<CControlUI*> CContainerUI::VisibleItems() const
{
    std::vector<CControlUI*> shown;
    for (const auto& item : m_items)
        if (item->IsVisible())
            shown.push_back(item.get());
    return shown;
}

void CContainerUI::DoPaint(QPainter& painter)
{
    if (!m_visible)
        return;
    CControlUI::DoPaint(painter);
    for (const auto& item : m_items)
        item->DoPaint(painter);
}

LPCTSTR CVerticalLayoutUI::GetClass() const { return L"VerticalLayoutUI"; }

void* CVerticalLayoutUI::GetInterface(LPCTSTR name)
{
    if (CDuiString(L"VerticalLayout").Compare(name) == 0)
        return this;
    return CContainerUI::GetInterface(name);
}

void CVerticalLayoutUI::SetPos(RECT rc)
{
    CControlUI::SetPos(rc);
    const RECT inner = InnerRect();
    const std::vector<CControlUI*> shown = VisibleItems();
    const auto heights = ShareAxis(shown, dui::RectHeight(inner), m_childPadding, false);
    long long y = inner.top;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        CControlUI* child = shown[i];
        const RECT& pad = child->GetPadding();
        y += pad.top;
        const int left = inner.left + pad.left;
        const int width =
            child->GetFixedWidth() > 0 ? child->GetFixedWidth() : std::max(0, inner.right - pad.right - left);
        child->SetPos(RECT{left, Coordinate(y), left + width, Coordinate(y + heights[i])});
        y += static_cast<long long>(heights[i]) + pad.bottom + m_childPadding;
    }
}

LPCTSTR CHorizontalLayoutUI::GetClass() const { return L"HorizontalLayoutUI"; }

void* CHorizontalLayoutUI::GetInterface(LPCTSTR name)
{
    if (CDuiString(L"HorizontalLayout").Compare(name) == 0)
        return this;
    return CContainerUI::GetInterface(name);
}

void CHorizontalLayoutUI::SetPos(RECT rc)
{
    CControlUI::SetPos(rc);
    const RECT inner = InnerRect();
    const std::vector<CControlUI*> shown = VisibleItems();
    const auto widths = ShareAxis(shown, dui::RectWidth(inner), m_childPadding, true);
    long long x = inner.left;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        CControlUI* child = shown[i];
        const RECT& pad = child->GetPadding();
        x += pad.left;
        const int top = inner.top + pad.top;
        const int height =
            child->GetFixedHeight() > 0 ? child->GetFixedHeight() : std::max(0, inner.bottom - pad.bottom - top);
        child->SetPos(RECT{Coordinate(x), top, Coordinate(x + widths[i]), top + height});
        x += static_cast<long long>(widths[i]) + pad.right + m_childPadding;
    }
}
