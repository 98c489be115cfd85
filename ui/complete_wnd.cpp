#include "ui/complete_wnd.h"

#include "skin/skin_resources.h"
#include "ui/unattended.h"

CompleteWnd::CompleteWnd() = default;

CompleteWnd::~CompleteWnd() = default;

LPCTSTR CompleteWnd::GetWindowClassName() const { return L"CompleteWnd"; }

CDuiString CompleteWnd::GetSkinFolder() { return L""; }

CDuiString CompleteWnd::GetSkinFile() { return L"CompleteWnd.xml"; }

UILIB_RESOURCETYPE CompleteWnd::GetResourceType() const { return UILIB_ZIPRESOURCE; }

UINT CompleteWnd::GetResourceID() const { return kSkinResourceId; }

void CompleteWnd::InitWindow() {}

LRESULT CompleteWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return WindowImplBase::HandleMessage(message, wParam, lParam);
}

void CompleteWnd::Notify(TNotifyUI& msg)
{
    if (msg.sType == DUI_MSGTYPE_WINDOWINIT) {
        // On screen now: an unattended run presses btnOk, the default button.
        if (m_answerItself)
            AnswerWithDefaultButton(m_hWnd);
    } else if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender) {
        const CDuiString& name = msg.pSender->GetName();
        if (name == L"btnOk") {
            ShowWindow(false);
            Close(1);
        } else if (name == L"closebtn") {
            // The main window hears of it first; the library's click handling then closes this one.
            SendMessageW(m_ownerWnd, WM_CLOSE, 0, 0);
        }
    }
    WindowImplBase::Notify(msg);
}
