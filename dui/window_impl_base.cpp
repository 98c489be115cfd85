#include "dui/window_impl_base.h"

#include "dui/attributes.h"
#include "dui/button.h"
#include "dui/dialog_builder.h"
#include "dui/skin_archive.h"

#include <cstdio>

DUI_BEGIN_MESSAGE_MAP(WindowImplBase, CNotifyPump)
DUI_ON_MSGTYPE(DUI_MSGTYPE_CLICK, OnClick)
DUI_END_MESSAGE_MAP()

WindowImplBase::WindowImplBase() = default;

WindowImplBase::~WindowImplBase()
{
    m_PaintManager.RemovePreMessageFilter(this);
    m_PaintManager.RemoveNotifier(this);
}

UINT WindowImplBase::GetClassStyle() const { return 0; }

void WindowImplBase::OnFinalMessage(HWND)
{
    m_PaintManager.RemovePreMessageFilter(this);
    m_PaintManager.RemoveNotifier(this);
}

void WindowImplBase::InitWindow() {}

void WindowImplBase::OnClick(TNotifyUI& msg)
{
    if (!msg.pSender)
        return;
    const CDuiString& name = msg.pSender->GetName();
    if (name.CompareNoCase(L"closebtn") == 0)
        Close(0);
    else if (name.CompareNoCase(L"minbtn") == 0)
        SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (name.CompareNoCase(L"maxbtn") == 0)
        SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    else if (name.CompareNoCase(L"restorebtn") == 0)
        SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
}

CDuiString WindowImplBase::GetSkinFolder() { return CDuiString(); }

LRESULT WindowImplBase::ResponseDefaultKeyEvent(WPARAM wParam)
{
    if (wParam == VK_RETURN) {
        // The focused button, or else the default one.
        CControlUI* button = m_PaintManager.GetFocus();
        if (!button)
            button = m_PaintManager.FindDefaultButton();
        if (!button)
            return FALSE;
        button->Activate();
        return TRUE;
    }
    if (wParam == VK_ESCAPE) {
        Close(0);
        return TRUE;
    }
    return FALSE;
}

UILIB_RESOURCETYPE WindowImplBase::GetResourceType() const { return UILIB_FILE; }

CDuiString WindowImplBase::GetZIPFileName() const { return CDuiString(); }

UINT WindowImplBase::GetResourceID() const { return 0; }

LRESULT WindowImplBase::OnNcCalcSize(UINT, WPARAM, LPARAM, BOOL& handled)
{
    // The whole window is client area.
    handled = TRUE;
    return 0;
}

LRESULT WindowImplBase::OnNcPaint(UINT, WPARAM, LPARAM, BOOL& handled)
{
    handled = TRUE;
    return 0;
}

LRESULT WindowImplBase::OnNcHitTest(UINT, WPARAM, LPARAM lParam, BOOL& handled)
{
    handled = TRUE;
    m_PaintManager.UpdateLayout();
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(m_hWnd, &pt);
    RECT caption = m_PaintManager.GetCaptionRect();
    RECT client;
    GetClientRect(m_hWnd, &client);
    if (caption.right <= caption.left)
        caption.right = client.right;
    if (!dui::RectContains(caption, pt))
        return HTCLIENT;
    const CControlUI* control = m_PaintManager.FindControl(pt);
    if (control && control->IsMouseEnabled())
        return HTCLIENT;
    return HTCAPTION;
}

LRESULT WindowImplBase::OnSysCommand(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled)
{
    handled = TRUE;
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        SendMessage(WM_CLOSE, 0, 0);
        return 0;
    }
    return CWindowWnd::HandleMessage(message, wParam, lParam);
}

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, BOOL& handled)
{
    handled = TRUE;
    SetWindowLongPtrW(m_hWnd, GWL_STYLE, GetStyle());
    m_PaintManager.Init(m_hWnd);
    m_PaintManager.AddPreMessageFilter(this);

    // Every skin is the embedded archive; other resource types give no skin.
    std::shared_ptr<const SkinArchive> archive;
    if (GetResourceType() == UILIB_ZIPRESOURCE)
        archive = SkinArchive::FromResource(CPaintManagerUI::GetInstance(), static_cast<WORD>(GetResourceID()));
    m_PaintManager.SetSkin(archive, GetSkinFolder());

    CDialogBuilder builder;
    const CDuiString skinFile = GetSkinFile();
    CControlUI* root = builder.Create(skinFile, &m_PaintManager, this);
    if (!root) {
        std::fprintf(stderr, "dui: window %s has no controls: %s\n", CDuiString(GetWindowClassName()).ToUtf8().c_str(),
            builder.GetLastError().ToUtf8().c_str());
        std::fflush(stderr);
    }
    m_PaintManager.AttachDialog(root);
    m_PaintManager.AddNotifier(this);

    const SIZE size = m_PaintManager.GetInitSize();
    if (size.cx > 0 && size.cy > 0)
        SetWindowPos(m_hWnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_PaintManager.UpdateLayout();

    InitWindow();
    return 0;
}

LRESULT WindowImplBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    BOOL handled = TRUE;
    switch (message) {
    case WM_CREATE:
        result = OnCreate(message, wParam, lParam, handled);
        break;
    case WM_NCCALCSIZE:
        result = OnNcCalcSize(message, wParam, lParam, handled);
        break;
    case WM_NCPAINT:
        result = OnNcPaint(message, wParam, lParam, handled);
        break;
    case WM_NCHITTEST:
        result = OnNcHitTest(message, wParam, lParam, handled);
        break;
    case WM_SYSCOMMAND:
        result = OnSysCommand(message, wParam, lParam, handled);
        break;
    default:
        handled = FALSE;
        break;
    }
    if (handled)
        return result;
    result = HandleCustomMessage(message, wParam, lParam, handled);
    if (handled)
        return result;
    if (m_PaintManager.MessageHandler(message, wParam, lParam, result))
        return result;
    return CWindowWnd::HandleMessage(message, wParam, lParam);
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& handled)
{
    handled = FALSE;
    return 0;
}

LONG WindowImplBase::GetStyle()
{
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(m_hWnd, GWL_STYLE));
    return static_cast<LONG>(style & ~WS_CAPTION);
}

void WindowImplBase::Notify(TNotifyUI& msg) { NotifyPump(msg); }

LRESULT WindowImplBase::MessageHandler(UINT message, WPARAM wParam, LPARAM, bool& handled)
{
    if (message == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
        handled = ResponseDefaultKeyEvent(wParam) != 0;
        return 0;
    }
    return 0;
}

CControlUI* WindowImplBase::CreateControl(LPCTSTR) { return nullptr; }
