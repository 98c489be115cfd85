// CWindowWnd: a native window owned by a C++ object. The object registers its window class,
// creates the window with itself as the creation parameter, and receives every message in
// HandleMessage; OnFinalMessage runs after the window is gone.
#pragma once

#include "dui/dui_string.h"
#include "dui/lifetime.h"

class CWindowWnd {
public:
    CWindowWnd();
    virtual ~CWindowWnd();
    CWindowWnd(const CWindowWnd&) = delete;
    CWindowWnd& operator=(const CWindowWnd&) = delete;

    HWND GetHWND() const { return m_hWnd; }
    // Ends when the object is deleted (some delete themselves in OnFinalMessage): whoever made
    // the object can tell whether a failed Create has already taken it.
    CLifeWatch Watch() const { return m_lifetime.Watch(); }
    operator HWND() const { return m_hWnd; }

    // Registers the class (once) and creates the window; null when that failed.
    HWND Create(HWND parent, LPCTSTR name, DWORD style, DWORD exStyle, const RECT& rc, HMENU menu = nullptr);
    HWND Create(HWND parent, LPCTSTR name, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT, int y = CW_USEDEFAULT,
        int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT, HMENU menu = nullptr);

    void ShowWindow(bool show = true, bool takeFocus = true);
    // Shows the window, disables its owner (when the owner was enabled), dispatches every
    // message of the thread while the window exists, gives the owner its input back and
    // returns the wParam of the WM_CLOSE that closed the window (0 when there was none).
    // On WM_QUIT it stops and posts the quit again, so that enclosing loops end too.
    UINT ShowModal();
    // Posts WM_CLOSE with `code` as wParam: the result of ShowModal.
    void Close(UINT code = 0);
    // Centres on the owner when it is visible, else on the work area of the screen.
    void CenterWindow();
    // Loads icon `resourceId` of the instance and makes it the window's large and small icon.
    void SetIcon(UINT resourceId);
    void ResizeClient(int cx = -1, int cy = -1);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    virtual LPCTSTR GetWindowClassName() const = 0;
    // Null: the class is registered from scratch rather than derived from a system class.
    virtual LPCTSTR GetSuperClassName() const;
    virtual UINT GetClassStyle() const;
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnFinalMessage(HWND hwnd);

protected:
    static LRESULT StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;

private:
    struct ModalState;
    bool RegisterWindowClass();
    ModalState* m_modal = nullptr;
    CLifetime m_lifetime;
};
