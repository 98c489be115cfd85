#include "dui/window_wnd.h"

#include "dui/paint_manager.h"

#include <algorithm>

// Where the window procedure leaves the close code for a modal loop: on the loop's stack, so
// that the code outlives a window object that deletes itself in OnFinalMessage.
struct CWindowWnd::ModalState {
    ModalState* previous = nullptr;
    UINT code = 0;
};

CWindowWnd::CWindowWnd() = default;

CWindowWnd::~CWindowWnd()
{
    if (m_hWnd && IsWindow(m_hWnd)) {
        // The object goes first: the window must not call into it any more.
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hWnd);
    }
}

LPCTSTR CWindowWnd::GetSuperClassName() const { return nullptr; }

UINT CWindowWnd::GetClassStyle() const { return 0; }

bool CWindowWnd::RegisterWindowClass()
{
    const HINSTANCE instance = CPaintManagerUI::GetInstance();
    WNDCLASSEXW existing;
    if (GetClassInfoExW(instance, GetWindowClassName(), &existing))
        return true;
    WNDCLASSEXW wc;
    wc.style = GetClassStyle();
    wc.lpfnWndProc = &CWindowWnd::StaticWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = GetWindowClassName();
    return RegisterClassExW(&wc) != 0 || GetClassInfoExW(instance, GetWindowClassName(), &existing);
}

HWND CWindowWnd::Create(HWND parent, LPCTSTR name, DWORD style, DWORD exStyle, const RECT& rc, HMENU menu)
{
    return Create(parent, name, style, exStyle, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, menu);
}

HWND CWindowWnd::Create(HWND parent, LPCTSTR name, DWORD style, DWORD exStyle, int x, int y, int cx, int cy, HMENU menu)
{
    if (!RegisterWindowClass())
        return nullptr;
    // WM_NCCREATE stores the handle in m_hWnd; the result is returned as well.
    const HWND hwnd = CreateWindowExW(
        exStyle, GetWindowClassName(), name, style, x, y, cx, cy, parent, menu, CPaintManagerUI::GetInstance(), this);
    return hwnd;
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus)
{
    if (!IsWindow(m_hWnd))
        return;
    ::ShowWindow(m_hWnd, show ? (takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

UINT CWindowWnd::ShowModal()
{
    const HWND hwnd = m_hWnd;
    if (!hwnd || !IsWindow(hwnd))
        return 0;
    const CLifeWatch object = Watch();
    ModalState state;
    state.previous = m_modal;
    m_modal = &state;

    const HWND owner = GetWindow(hwnd, GW_OWNER);
    const bool disableOwner = owner && IsWindowEnabled(owner);
    ::ShowWindow(hwnd, SW_SHOWNORMAL);
    if (disableOwner)
        EnableWindow(owner, FALSE);

    MSG msg;
    bool quit = false;
    while (object.Alive() && IsWindow(hwnd)) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            break;
        }
        if (got < 0)
            break;
        if (msg.message == WM_CLOSE && msg.hwnd == hwnd && disableOwner && IsWindow(owner)) {
            // The owner is usable again before the window goes, so it gets the activation back.
            EnableWindow(owner, TRUE);
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (disableOwner && IsWindow(owner))
        EnableWindow(owner, TRUE);
    if (object.Alive())
        m_modal = state.previous;
    if (quit)
        PostQuitMessage(static_cast<int>(msg.wParam));
    return state.code;
}

void CWindowWnd::Close(UINT code)
{
    if (IsWindow(m_hWnd))
        PostMessageW(m_hWnd, WM_CLOSE, static_cast<WPARAM>(code), 0);
}

void CWindowWnd::CenterWindow()
{
    if (!IsWindow(m_hWnd))
        return;
    RECT window;
    GetWindowRect(m_hWnd, &window);
    RECT area;
    GetWorkAreaRect(m_hWnd, &area);
    RECT center = area;
    const HWND owner = GetWindow(m_hWnd, GW_OWNER);
    if (owner && IsWindow(owner) && IsWindowVisible(owner) && !IsIconic(owner))
        GetWindowRect(owner, &center);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    int x = (center.left + center.right - width) / 2;
    int y = (center.top + center.bottom - height) / 2;
    // Keep it on the work area.
    x = std::max<int>(area.left, std::min<int>(x, area.right - width));
    y = std::max<int>(area.top, std::min<int>(y, area.bottom - height));
    SetWindowPos(m_hWnd, nullptr, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::SetIcon(UINT resourceId)
{
    const HICON icon = LoadIconW(CPaintManagerUI::GetInstance(), MAKEINTRESOURCEW(static_cast<WORD>(resourceId)));
    if (!icon)
        return;
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void CWindowWnd::ResizeClient(int cx, int cy)
{
    if (!IsWindow(m_hWnd))
        return;
    RECT client;
    GetClientRect(m_hWnd, &client);
    if (cx < 0)
        cx = client.right - client.left;
    if (cy < 0)
        cy = client.bottom - client.top;
    SetWindowPos(m_hWnd, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CWindowWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageW(m_hWnd, message, wParam, lParam);
}

LRESULT CWindowWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return PostMessageW(m_hWnd, message, wParam, lParam);
}

LRESULT CWindowWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(m_hWnd, message, wParam, lParam);
}

void CWindowWnd::OnFinalMessage(HWND) {}

LRESULT CWindowWnd::StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWindowWnd* self = nullptr;
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        self = create ? static_cast<CWindowWnd*>(create->lpCreateParams) : nullptr;
        if (self) {
            self->m_hWnd = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);

    if (message == WM_CLOSE && self->m_modal)
        self->m_modal->code = static_cast<UINT>(wParam);
    if (message == WM_NCDESTROY) {
        const LRESULT result = self->HandleMessage(message, wParam, lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
        // May delete the object: the last use of `self`.
        self->OnFinalMessage(hwnd);
        return result;
    }
    return self->HandleMessage(message, wParam, lParam);
}
