// CPaintManagerUI: one per window. Holds the window's control tree, fonts and images, lays
// the tree out, paints it, turns mouse input into control events and delivers notifications.
// Without a window (Init never called, or called with null) the same tree can be painted
// into an image offscreen: that is how skins are previewed and tested.
#pragma once

#include "dui/control.h"
#include "dui/lifetime.h"
#include "dui/notify.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QFont;
class QImage;
class QPainter;
class SkinArchive;
class CButtonUI;

class CPaintManagerUI {
public:
    CPaintManagerUI();
    ~CPaintManagerUI();
    CPaintManagerUI(const CPaintManagerUI&) = delete;
    CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

    // ---- The process -------------------------------------------------------------------
    static void SetInstance(HINSTANCE instance);
    static HINSTANCE GetInstance();
    // The executable's folder, ending with a backslash.
    static CDuiString GetInstancePath();
    static void SetResourcePath(LPCTSTR path);
    static CDuiString GetResourcePath();

    // ---- The window --------------------------------------------------------------------
    void Init(HWND hwnd);
    HWND GetPaintWindow() const { return m_hwnd; }

    // Where layouts and images are read: the archive's folder `folder`. With no archive
    // nothing is found.
    void SetSkin(std::shared_ptr<const SkinArchive> archive, LPCTSTR folder);
    std::optional<std::string> ReadSkinFile(const CDuiString& name) const;
    // The decoded image, cached; nullptr when missing or unreadable.
    const QImage* GetImage(const CDuiString& name);

    // Window attributes of the layout.
    SIZE GetInitSize() const { return m_initSize; }
    void SetInitSize(int cx, int cy);
    // The strip by which the window is dragged (client coordinates; right 0 = full width).
    RECT GetCaptionRect() const { return m_captionRect; }
    void SetCaptionRect(RECT rc) { m_captionRect = rc; }
    SIZE GetRoundCorner() const { return m_roundCorner; }
    void SetRoundCorner(int cx, int cy) { m_roundCorner = SIZE{cx, cy}; }
    SIZE GetMinInfo() const { return m_minInfo; }
    void SetMinInfo(int cx, int cy) { m_minInfo = SIZE{cx, cy}; }
    // The window's name for screen readers: the layout's `title`, or the present text of the
    // control its `titlefrom` names (which wins); both empty: the window text.
    const CDuiString& GetTitle() const;
    void SetTitle(LPCTSTR title);
    const CDuiString& GetTitleControl() const;
    void SetTitleControl(LPCTSTR name);

    // ---- Fonts -------------------------------------------------------------------------
    void AddFont(int id, LPCTSTR face, int size, bool bold, bool underline = false, bool italic = false);
    // The font of `id`, or the default font when the table has no such id.
    const TFontInfo& GetFontInfo(int id) const;
    bool HasFont(int id) const;
    void SetDefaultFont(LPCTSTR face, int size, bool bold);
    QFont GetQFont(int id) const;

    // ---- Controls ----------------------------------------------------------------------
    // Takes ownership of the tree.
    bool AttachDialog(CControlUI* root);
    CControlUI* GetRoot() const { return m_root.get(); }
    // The control under `pt` that takes the mouse, or failing that the deepest one.
    CControlUI* FindControl(POINT pt) const;
    CControlUI* FindControl(LPCTSTR name) const;
    CButtonUI* FindDefaultButton() const;
    CControlUI* GetHotControl() const { return m_hot; }
    CControlUI* GetPushedControl() const { return m_pushed; }
    // Called by a control that goes away.
    void ForgetControl(CControlUI* control);
    // Called by a control whose text or value changed (screen readers hear of it).
    void NoteTextChanged(CControlUI* control);
    void NoteValueChanged(CControlUI* control);

    // ---- Keyboard focus ----------------------------------------------------------------
    // Buttons that are enabled and shown take the focus: Tab moves it to the next one (Shift+Tab
    // to the previous one, round the window), a click to the button clicked, and Space presses
    // the focused button. When the window first paints, its default button takes the focus.
    // The focused button has a ring drawn around it, except after a click until the next key.
    CControlUI* GetFocus() const;
    // Null takes the focus away; a control that cannot take it leaves the focus as it is.
    void SetFocus(CControlUI* control);
    // False when the window has no button that could take the focus.
    bool SetNextTabControl(bool forward = true);
    static bool IsTabStop(const CControlUI* control);

    // ---- Tooltips ----------------------------------------------------------------------
    // A control's tooltip shows once the mouse has rested on it for kToolTipDelay ms, below the
    // pointer inside the window, until the mouse leaves the control or presses.
    static constexpr UINT kToolTipDelay = 500;
    // The text shown now (empty: none) and where.
    const CDuiString& GetShownToolTip() const;
    RECT GetToolTipRect() const;

    // ---- Holding input -----------------------------------------------------------------
    // While held, mouse and key input (and presses by assistive tools) for the window is
    // dropped, except what `letThrough` accepts (it gets the message as the window would; an
    // assistive tool's press as the button down and up of a click at the control's centre).
    using InputFilter = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam)>;
    void HoldInput(InputFilter letThrough);
    void ReleaseInput();

    // ---- Notifications and messages ----------------------------------------------------
    bool AddNotifier(INotifyUI* notifier);
    bool RemoveNotifier(INotifyUI* notifier);
    void SendNotify(TNotifyUI& msg);
    void SendNotify(CControlUI* sender, LPCTSTR type, WPARAM wParam = 0, LPARAM lParam = 0);
    bool AddPreMessageFilter(IMessageFilterUI* filter);
    bool RemovePreMessageFilter(IMessageFilterUI* filter);
    // True when the message was taken (result in `result`). Pre-filters see it first.
    bool MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool WindowInitSent() const { return m_windowInitSent; }

    // ---- Layout and painting -----------------------------------------------------------
    void NeedUpdate();
    void Invalidate();
    void Invalidate(const RECT& rc);
    // The client size of the window, or the layout's size offscreen.
    SIZE GetClientSize() const;
    // Lays the tree out to the client size when something changed.
    void UpdateLayout();
    // Paints the tree: the one painting path of windows and offscreen images.
    void Paint(QPainter& painter);
    // Paints offscreen into a new image of the client size times the screen's device pixel
    // ratio (the image carries that ratio).
    bool RenderToImage(QImage& image);
    // Writes that image as PNG to a native path.
    bool SaveImage(const std::string& nativePngPath);

private:
    void OnPaint();
    void OnMouseMove(POINT pt);
    void OnMouseLeave();
    void OnButtonDown(POINT pt);
    void OnButtonUp(POINT pt);
    bool OnKeyDown(WPARAM key, LPARAM flags);
    void OnAccessiblePress(CControlUI* control, bool press);
    bool InTree(const CControlUI* control) const;
    bool LetThroughHeld(UINT message, WPARAM wParam, LPARAM lParam) const;
    void SendEvent(CControlUI* control, int type, POINT pt);
    void HideToolTip();
    void OnHotChanged();
    void OnToolTipTimer();
    void PaintFocusRing(QPainter& painter);
    void PaintToolTip(QPainter& painter);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
    HWND m_hwnd = nullptr;
    std::unique_ptr<CControlUI> m_root;
    SIZE m_initSize;
    RECT m_captionRect;
    SIZE m_roundCorner;
    SIZE m_minInfo;
    bool m_needLayout = true;
    bool m_windowInitSent = false;
    CControlUI* m_hot = nullptr;
    CControlUI* m_pushed = nullptr;
    POINT m_lastMouse;
    std::vector<INotifyUI*> m_notifiers;
    std::vector<IMessageFilterUI*> m_preFilters;
    // Lets a notification loop notice that a handler destroyed this manager.
    CLifetime m_lifetime;

    friend class CInputHold;
};

// Holds a manager's input (CPaintManagerUI::HoldInput) for as long as it lives.
class CInputHold {
public:
    CInputHold(CPaintManagerUI& manager, CPaintManagerUI::InputFilter letThrough);
    ~CInputHold();
    CInputHold(const CInputHold&) = delete;
    CInputHold& operator=(const CInputHold&) = delete;

private:
    CPaintManagerUI& m_manager;
    CLifeWatch m_alive;
};
