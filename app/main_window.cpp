#include "app/main_window.h"

CDuiFrameWnd::CDuiFrameWnd()
{
    m_downloadDisk = PickDownloadDisk();
    g_downloadDisk = m_downloadDisk;
}

CDuiFrameWnd::~CDuiFrameWnd() = default;

LPCTSTR CDuiFrameWnd::GetWindowClassName() const
{
    return L"DuiFrame";
}

CDuiString CDuiFrameWnd::GetSkinFolder()
{
    return L"";
}

CDuiString CDuiFrameWnd::GetSkinFile()
{
    return L"mainWnd.xml";
}

UILIB_RESOURCETYPE CDuiFrameWnd::GetResourceType() const
{
    return UILIB_ZIPRESOURCE;
}

CDuiString CDuiFrameWnd::GetZIPFileName() const
{
    return L"";
}

UINT CDuiFrameWnd::GetResourceID() const
{
    return 108;
}

void CDuiFrameWnd::InitWindow() {}

void CDuiFrameWnd::Notify(TNotifyUI& msg)
{
    WindowImplBase::Notify(msg);
}

LRESULT CDuiFrameWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return WindowImplBase::HandleMessage(message, wParam, lParam);
}

LRESULT CDuiFrameWnd::HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& handled)
{
    handled = FALSE;
    return 0;
}
