#include "app/main_window.h"

#include "app/drive_check.h"
#include "app/program_directory.h"
#include "app/start_flow.h"
#include "download_window/download_wnd.h"
#include "download_window/install_worker.h"
#include "net/package_address.h"
#include "platform/user_text_trace.h"
#include "skin/skin_resources.h"
#include "ui/complete_wnd.h"
#include "ui/message_dialog.h"
#include "ui/user_texts.h"

namespace {

constexpr DWORD kCompleteWindowStyle =
    WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;

bool IsVolumeBroadcast(LPARAM lParam)
{
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    return header != nullptr && header->dbch_devicetype == DBT_DEVTYP_VOLUME;
}

// The stick was pulled during the installation (the watcher saw it go, or writing found it
// gone): the writing stops at once, the user is told, and the program ends once the message is
// answered. The worker is stopped first, so this stays the only message and nothing but the
// user's answer ends it; whichever side noticed second finds it said already.
void AbortInstallation(CDuiFrameWnd& frame)
{
    if (g_drivePulled)
        return;
    g_drivePulled = true;
    StopInstallWorker(std::chrono::milliseconds(0));
    const HWND mainWindow = frame.GetHWND();
    ShowWindow(mainWindow, SW_HIDE);
    ShowMessage(
        mainWindow, text::kCaption, text::kStickPulled, kOneButtonMessage, AnswerFor(frame.m_options.unattended));
    frame.m_outcome = RunOutcome::Failed;
    PostQuitMessage(0);
}

// Unattended, start is pressed as the user would press it: a click at the button's centre.
void PressStart(CPaintManagerUI& manager, HWND window)
{
    const CControlUI* start = manager.FindControl(L"btnStart");
    if (start == nullptr)
        return;
    const RECT& pos = start->GetPos();
    const LPARAM centre = MAKELPARAM((pos.left + pos.right) / 2, (pos.top + pos.bottom) / 2);
    PostMessageW(window, WM_LBUTTONDOWN, 0, centre);
    PostMessageW(window, WM_LBUTTONUP, 0, centre);
}

} // namespace

CDuiFrameWnd::CDuiFrameWnd(RunOptions options) : m_options(std::move(options))
{
    m_downloadDisk = PickDownloadDisk();
    g_downloadDisk = m_downloadDisk;
}

CDuiFrameWnd::~CDuiFrameWnd() = default;

LPCTSTR CDuiFrameWnd::GetWindowClassName() const { return L"DuiFrame"; }

CDuiString CDuiFrameWnd::GetSkinFolder() { return L""; }

CDuiString CDuiFrameWnd::GetSkinFile() { return L"mainWnd.xml"; }

UILIB_RESOURCETYPE CDuiFrameWnd::GetResourceType() const { return UILIB_ZIPRESOURCE; }

CDuiString CDuiFrameWnd::GetZIPFileName() const { return L""; }

UINT CDuiFrameWnd::GetResourceID() const { return kSkinResourceId; }

void CDuiFrameWnd::InitWindow() { SelectCloudBaseUrl(); }

void CDuiFrameWnd::Notify(TNotifyUI& msg)
{
    if (msg.sType == DUI_MSGTYPE_WINDOWINIT) {
        g_driveState = CheckDriveState();
        if (m_options.unattended) {
            if (g_driveState == DriveState::Ready) {
                PressStart(m_PaintManager, GetHWND());
            } else {
                platform::TraceUserText(DriveRefusalText(g_driveState));
                m_outcome = RunOutcome::DrivesNotReady;
                PostQuitMessage(0);
            }
        }
    } else if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender != nullptr && msg.pSender->GetName() == L"btnStart") {
        RunStartFlow(*this);
        return;
    }
    WindowImplBase::Notify(msg);
}

LRESULT CDuiFrameWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE && IsVolumeBroadcast(lParam)) {
        if (wParam == DBT_DEVICEARRIVAL && (!g_installStarted || m_sizeProbeRunning)) {
            g_driveState = CheckDriveState();
        } else if (wParam == DBT_DEVICEREMOVECOMPLETE) {
            g_driveState = CheckDriveState();
            if (g_installStarted && !m_sizeProbeRunning && g_driveState == DriveState::NoDrive)
                AbortInstallation(*this);
        }
    } else if (message == WM_CLOSE) {
        Close(1);
    }
    return WindowImplBase::HandleMessage(message, wParam, lParam);
}

LRESULT CDuiFrameWnd::HandleCustomMessage(UINT message, WPARAM, LPARAM, BOOL& handled)
{
    if (message == WM_INSTALL_STICK_PULLED) {
        handled = TRUE;
        AbortInstallation(*this);
        return 0;
    }
    if (message != WM_INSTALL_DONE) {
        handled = FALSE;
        return 0;
    }
    handled = TRUE;
    if (g_drivePulled) {
        if (m_options.unattended)
            platform::TraceUserText(text::kInstallAborted);
        else
            MessageBoxW(GetHWND(), text::kInstallAborted, text::kCaption, MB_OK);
        PostQuitMessage(-1);
        return -1;
    }
    m_completeWnd = std::make_unique<CompleteWnd>();
    CompleteWnd* complete = m_completeWnd.get();
    complete->m_ownerWnd = GetHWND();
    complete->m_answerItself = m_options.unattended;
    complete->Create(nullptr, text::kCompleteWindowTitle, kCompleteWindowStyle, WS_EX_WINDOWEDGE, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr);
    complete->CenterWindow();
    complete->ShowModal();
    m_outcome = RunOutcome::Installed;
    PostQuitMessage(0);
    return 0;
}
