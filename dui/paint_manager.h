// CPaintManagerUI: one per window. Holds the window's control tree, fonts and images, lays
// the tree out, paints it, turns mouse input into control events and delivers notifications.
// Without a window (Init never called, or called with null) the same tree can be painted
// into an image offscreen: that is how skins are previewed and tested.
#pragma once

#include "dui/control.h"
#include "dui/lifetime.h"
#include "dui/notify.h"

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
    void SendEvent(CControlUI* control, int type, POINT pt);

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
};
