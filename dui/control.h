// CControlUI: the base of every control in a window's tree. Position, fixed or flexible
// size, padding, background colour and image, border, visibility, text, tooltip.
// Controls belong to the UI thread of their window.
#pragma once

#include "dui/dui_string.h"

class QPainter;
class CControlUI;
class CPaintManagerUI;

// Input handed to a control by its paint manager.
enum UIEVENT_TYPE {
    UIEVENT_MOUSEENTER = 1,
    UIEVENT_MOUSELEAVE,
    UIEVENT_MOUSEMOVE,
    UIEVENT_BUTTONDOWN,
    UIEVENT_BUTTONUP,
};

struct TEventUI {
    int Type = 0;
    CControlUI* pSender = nullptr;
    POINT ptMouse;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Button states.
inline constexpr UINT UISTATE_HOT = 0x01;
inline constexpr UINT UISTATE_PUSHED = 0x02;
inline constexpr UINT UISTATE_CAPTURED = 0x04;

class CControlUI {
public:
    CControlUI();
    virtual ~CControlUI();
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;

    // "ControlUI", "ButtonUI", ... and the interface names a control answers to.
    virtual LPCTSTR GetClass() const;
    virtual void* GetInterface(LPCTSTR name);

    const CDuiString& GetName() const { return m_name; }
    void SetName(LPCTSTR name) { m_name = name; }

    virtual CDuiString GetText() const { return m_text; }
    virtual void SetText(LPCTSTR text);
    const CDuiString& GetToolTip() const { return m_toolTip; }
    void SetToolTip(LPCTSTR text) { m_toolTip = text; }

    // Where the layout put the control, in client coordinates.
    const RECT& GetPos() const { return m_pos; }
    virtual void SetPos(RECT rc);
    // Space kept free around the control by its parent layout.
    const RECT& GetPadding() const { return m_padding; }
    void SetPadding(RECT rc);
    // A fixed size; 0 means the control takes its share of the free space.
    int GetFixedWidth() const { return m_fixedWidth; }
    void SetFixedWidth(int cx);
    int GetFixedHeight() const { return m_fixedHeight; }
    void SetFixedHeight(int cy);

    DWORD GetBkColor() const { return m_bkColor; }
    void SetBkColor(DWORD argb);
    const CDuiString& GetBkImage() const { return m_bkImage; }
    void SetBkImage(LPCTSTR image);
    DWORD GetBorderColor() const { return m_borderColor; }
    void SetBorderColor(DWORD argb);
    int GetBorderSize() const { return m_borderSize; }
    void SetBorderSize(int size);

    bool IsVisible() const { return m_visible; }
    virtual void SetVisible(bool visible);
    bool IsEnabled() const { return m_enabled; }
    virtual void SetEnabled(bool enabled);
    // Whether the control takes mouse input (buttons do; labels and layouts do not).
    bool IsMouseEnabled() const { return m_mouseEnabled; }
    void SetMouseEnabled(bool enabled) { m_mouseEnabled = enabled; }

    // What a click does: buttons notify "click". False when the control cannot be activated.
    virtual bool Activate();

    CControlUI* GetParent() const { return m_parent; }
    CPaintManagerUI* GetManager() const { return m_manager; }
    virtual void SetManager(CPaintManagerUI* manager, CControlUI* parent);

    void Invalidate();
    // Asks the manager for a new layout pass before the next paint.
    void NeedUpdate();
    void NeedParentUpdate();

    // Layout attributes as the builder reads them; unknown names are ignored.
    virtual void SetAttribute(LPCTSTR name, LPCTSTR value);

    // The deepest visible control at `pt` (this one or a child); with `mouseOnly`, only
    // controls that take mouse input count.
    virtual CControlUI* FindControlAt(POINT pt, bool mouseOnly);
    virtual CControlUI* FindControlByName(const CDuiString& name);
    // Calls `visit` for this control and every descendant.
    virtual void ForEach(void (*visit)(CControlUI*, void*), void* context);

    virtual void DoEvent(TEventUI& event);
    virtual void DoPaint(QPainter& painter);

    // Whether the control and every control around it are shown.
    bool IsShownInTree() const;
    // The number under which the control's accessibility interface is registered; 0: none yet.
    unsigned GetAccessibleId() const { return m_accessibleId; }
    void SetAccessibleId(unsigned id) { m_accessibleId = id; }

protected:
    virtual void PaintBkColor(QPainter& painter);
    virtual void PaintBkImage(QPainter& painter);
    virtual void PaintStatusImage(QPainter& painter);
    virtual void PaintText(QPainter& painter);
    virtual void PaintBorder(QPainter& painter);
    // Draws an image attribute value ("images/a.png" or "file='..' source='..' corner='..'")
    // into `dest` (the control's rectangle when null); false when the image is missing.
    bool DrawImage(QPainter& painter, const CDuiString& image, const RECT* dest = nullptr);

    CDuiString m_name;
    CDuiString m_text;
    CDuiString m_toolTip;
    RECT m_pos;
    RECT m_padding;
    int m_fixedWidth = 0;
    int m_fixedHeight = 0;
    DWORD m_bkColor = 0;
    CDuiString m_bkImage;
    DWORD m_borderColor = 0;
    int m_borderSize = 0;
    bool m_visible = true;
    bool m_enabled = true;
    bool m_mouseEnabled = false;
    CControlUI* m_parent = nullptr;
    CPaintManagerUI* m_manager = nullptr;
    unsigned m_accessibleId = 0;
};
