// Containers: children stacked in the inner rectangle (CContainerUI), one above another
// (CVerticalLayoutUI) or side by side (CHorizontalLayoutUI). Children with a fixed size keep
// it; the free space is shared equally among the others.
#pragma once

#include "dui/control.h"

#include <memory>
#include <vector>

class CContainerUI : public CControlUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR name) override;

    bool Add(std::unique_ptr<CControlUI> child);

    // Inner margin, and the gap between neighbouring children.
    void SetInset(RECT inset);
    void SetChildPadding(int padding);

    void SetPos(RECT rc) override;
    void SetManager(CPaintManagerUI* manager, CControlUI* parent) override;
    void SetAttribute(LPCTSTR name, LPCTSTR value) override;
    CControlUI* FindControlAt(POINT pt, bool mouseOnly) override;
    CControlUI* FindControlByName(const CDuiString& name) override;
    void ForEach(void (*visit)(CControlUI*, void*), void* context) override;
    void DoPaint(QPainter& painter) override;

protected:
    // The children that take part in layout and painting, in order.
    std::vector<CControlUI*> VisibleItems() const;
    RECT InnerRect() const;

    std::vector<std::unique_ptr<CControlUI>> m_items;
    RECT m_inset;
    int m_childPadding = 0;
};

class CVerticalLayoutUI : public CContainerUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR name) override;
    void SetPos(RECT rc) override;
};

class CHorizontalLayoutUI : public CContainerUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR name) override;
    void SetPos(RECT rc) override;
};
