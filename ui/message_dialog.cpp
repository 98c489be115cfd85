#include "ui/message_dialog.h"

#include "skin/skin_resources.h"
#include "ui/unattended.h"

DUI_BEGIN_MESSAGE_MAP(CMsgWnd2, WindowImplBase)
DUI_ON_MSGTYPE(DUI_MSGTYPE_CLICK, OnClick)
DUI_END_MESSAGE_MAP()

CMsgWnd2::CMsgWnd2() = default;

CMsgWnd2::~CMsgWnd2() = default;

LPCTSTR CMsgWnd2::GetWindowClassName() const { return L"MsgWnd2"; }

CDuiString CMsgWnd2::GetSkinFolder() { return L""; }

CDuiString CMsgWnd2::GetSkinFile() { return m_singleButton == 1 ? L"msg.xml" : L"msg2.xml"; }

UILIB_RESOURCETYPE CMsgWnd2::GetResourceType() const { return UILIB_ZIPRESOURCE; }

CDuiString CMsgWnd2::GetZIPFileName() const { return L""; }

UINT CMsgWnd2::GetResourceID() const { return kSkinResourceId; }

void CMsgWnd2::OnFinalMessage(HWND hwnd)
{
    WindowImplBase::OnFinalMessage(hwnd);
    delete this;
}

void CMsgWnd2::InitWindow() {}

void CMsgWnd2::Notify(TNotifyUI& msg)
{
    // The first paint has put the dialog on screen: an unattended run answers it now.
    if (msg.sType == DUI_MSGTYPE_WINDOWINIT && m_answerItself)
        AnswerWithDefaultButton(m_hWnd);
    WindowImplBase::Notify(msg);
}

void CMsgWnd2::OnClick(TNotifyUI& msg)
{
    if (!msg.pSender)
        return;
    const CDuiString& name = msg.pSender->GetName();
    if (name.CompareNoCase(L"confirm_btn") == 0)
        Close(1);
    else if (name.CompareNoCase(L"cancel_btn") == 0)
        Close(0);
}

LRESULT CMsgWnd2::OnSysCommand(UINT, WPARAM, LPARAM, BOOL& handled)
{
    // The system's default processing: SC_CLOSE closes the dialog with 0.
    handled = FALSE;
    return 0;
}

LRESULT CMsgWnd2::HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& handled)
{
    handled = FALSE;
    return 0;
}

void CMsgWnd2::MakeCancelTheDefault()
{
    const auto button = [this](LPCTSTR name) {
        CControlUI* control = m_PaintManager.FindControl(name);
        return control ? static_cast<CButtonUI*>(control->GetInterface(L"Button")) : nullptr;
    };
    CButtonUI* confirm = button(L"confirm_btn");
    CButtonUI* cancel = button(L"cancel_btn");
    if (!confirm || !cancel)
        return;
    confirm->SetDefault(false);
    cancel->SetDefault(true);
}

void CMsgWnd2::SetMessageText(LPCTSTR text) { ApplyMessageText(m_PaintManager, text); }

void CMsgWnd2::ApplyMessageText(CPaintManagerUI& manager, LPCTSTR text)
{
    if (lstrlenW(text) == 0)
        return;
    CControlUI* control = manager.FindControl(L"MessageText");
    auto* label = control ? static_cast<CLabelUI*>(control->GetInterface(L"Label")) : nullptr;
    if (!label)
        return;
    if (platform::Utf16Length(text) > kMessageTextLongerThan)
        label->SetFont(kMessageTextSmallFont);
    label->SetText(text);
}
