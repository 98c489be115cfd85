// WindowImplBase: a skinned window. On WM_CREATE it reads its layout (GetSkinFolder() +
// GetSkinFile()) from the source GetResourceType() names, builds the controls, sizes the
// window to the layout and runs InitWindow(). Messages go to the per-message handlers, then
// HandleCustomMessage, then the paint manager, then the system default. Notifications go
// through the message map: "click" reaches OnClick, where closebtn closes the window and
// minbtn minimises it. Enter presses the focused button, or else the layout's default button;
// Escape closes. Tab, Shift+Tab and Space work the focus (CPaintManagerUI).
#pragma once

#include "dui/notify.h"
#include "dui/paint_manager.h"
#include "dui/window_wnd.h"

class WindowImplBase : public CWindowWnd,
                       public CNotifyPump,
                       public INotifyUI,
                       public IMessageFilterUI,
                       public IDialogBuilderCallback {
public:
    WindowImplBase();
    ~WindowImplBase() override;

    // ---- Hooks a window class overrides ------------------------------------------------
    UINT GetClassStyle() const override;
    void OnFinalMessage(HWND hwnd) override;
    // Runs at the end of WM_CREATE, the controls built.
    virtual void InitWindow();
    // "click" notifications, by way of the message map.
    virtual void OnClick(TNotifyUI& msg);
    virtual CDuiString GetSkinFolder();
    virtual CDuiString GetSkinFile() = 0;
    // VK_RETURN presses the focused button, or else the default button; VK_ESCAPE closes
    // (code 0). Non-zero: handled.
    virtual LRESULT ResponseDefaultKeyEvent(WPARAM wParam);
    virtual UILIB_RESOURCETYPE GetResourceType() const;
    // The zip file of a skin read from a file: none here, every skin is embedded.
    virtual CDuiString GetZIPFileName() const;
    // The number of the "ZIPRES" resource for UILIB_ZIPRESOURCE.
    virtual UINT GetResourceID() const;

    // The per-message handlers. Each sets `handled`; left FALSE, the message goes on. Other
    // messages go straight on.
    virtual LRESULT OnNcCalcSize(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    virtual LRESULT OnNcPaint(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    // HTCAPTION inside the layout's caption strip, except over controls that take the mouse.
    virtual LRESULT OnNcHitTest(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    // SC_CLOSE becomes WM_CLOSE; other commands get the system's default processing.
    virtual LRESULT OnSysCommand(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    virtual LRESULT OnCreate(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Messages the per-message handlers leave; the default leaves them all (handled FALSE).
    virtual LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    // The window style set on WM_CREATE: the present one without the system caption.
    virtual LONG GetStyle();

    // ---- Secondary interfaces ----------------------------------------------------------
    // Passes the notification through the message map.
    void Notify(TNotifyUI& msg) override;
    LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    CControlUI* CreateControl(LPCTSTR className) override;

    CPaintManagerUI& PaintManager() { return m_PaintManager; }

    DUI_DECLARE_MESSAGE_MAP()

protected:
    CPaintManagerUI m_PaintManager;
};
