// The download window's UI side: hooks, the first status line, the start of the worker, and
// what the worker's posted messages do on the UI thread.
#include "download_window/download_wnd.h"

#include "download_window/install_worker.h"
#include "platform/diagnostics.h"
#include "platform/win32.h"
#include "session/download_progress.h"
#include "session/work_folder.h"
#include "skin/skin_resources.h"
#include "ui/message_dialog.h"
#include "ui/user_texts.h"

#include <utility>

namespace {

// The timer that shows a progress value held back by the pacing.
constexpr UINT_PTR kProgressTimerId = 0x1D0E;

void PrintStatusLine(const std::wstring& text) { platform::WriteDiagnosticLine(platform::Narrow(text)); }

} // namespace

DownloadWnd::DownloadWnd(InstallRequest request, HWND owner) : m_request(std::move(request)), m_ownerWnd(owner) {}

DownloadWnd::~DownloadWnd()
{
    if (m_job) {
        m_job->RequestStop();
        m_job->WaitForEnd();
    }
}

LPCTSTR DownloadWnd::GetWindowClassName() const { return L"DownloadWnd"; }

CDuiString DownloadWnd::GetSkinFolder() { return L""; }

CDuiString DownloadWnd::GetSkinFile() { return L"DownloadWnd.xml"; }

UILIB_RESOURCETYPE DownloadWnd::GetResourceType() const { return UILIB_ZIPRESOURCE; }

UINT DownloadWnd::GetResourceID() const { return kSkinResourceId; }

void DownloadWnd::InitWindow()
{
    m_pProgress = static_cast<CProgressUI*>(m_PaintManager.FindControl(L"progressBar"));
    m_pStatus = static_cast<CLabelUI*>(m_PaintManager.FindControl(L"edtStatus"));
    m_pDetail = static_cast<CLabelUI*>(m_PaintManager.FindControl(L"edtDetail"));
    // The bar's accessible name is its phase.
    if (m_pProgress)
        m_pProgress->SetText(ProgressPhaseName(ProgressPhase::Download));
    m_statusText = FormatDownloadStartStatus(0).c_str();
    ShowStatus(m_statusText, 0);
    if (m_request.options.unattended)
        PrintStatusLine(m_statusText.GetData());
}

void DownloadWnd::Notify(TNotifyUI& msg)
{
    if (msg.sType == DUI_MSGTYPE_WINDOWINIT)
        StartInstallWorker();
    WindowImplBase::Notify(msg);
}

LRESULT DownloadWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INSTALL_PROGRESS:
        OnProgressWake();
        return 0;
    case WM_TIMER:
        if (wParam != kProgressTimerId)
            break;
        KillTimer(m_hWnd, kProgressTimerId);
        m_progressTimerSet = false;
        ShowLatestProgress();
        return 0;
    case WM_INSTALL_FAILED:
        // Posted before a stop: after the pulled-stick abort nothing more is said.
        if (!m_job || !m_job->StopRequested())
            FinishWithFailure(static_cast<InstallFailure>(wParam), lParam);
        return 0;
    case WM_CLOSE:
        if (!UserMayClose(wParam))
            return 0;
        // The last value reaches the screen before the window goes.
        ShowLatestProgress();
        SendMessageW(m_ownerWnd, WM_CLOSE, 0, 0);
        break;
    case WM_DESTROY:
        // Nobody is left to show the installation: the worker stops and posts nothing more.
        if (m_job)
            m_job->RequestStop();
        if (m_progressTimerSet)
            KillTimer(m_hWnd, kProgressTimerId);
        m_progressTimerSet = false;
        break;
    default:
        break;
    }
    return WindowImplBase::HandleMessage(message, wParam, lParam);
}

void DownloadWnd::StartInstallWorker()
{
    if (m_job)
        return;
    // Unattended runs also print each status line once per whole percent.
    StatusLineSink statusLines;
    if (m_request.options.unattended)
        statusLines = PrintStatusLine;
    m_job = std::make_shared<InstallJob>(m_hWnd, m_ownerWnd, std::move(statusLines), m_request.options.verify);
    if (!::StartInstallWorker(m_request, m_job))
        platform::WriteDiagnosticLine("Failed to start the install worker.");
}

void DownloadWnd::OnProgressWake()
{
    if (m_progressTimerSet)
        return;
    const DWORD delay = m_progressPacer.DelayAt(GetTickCount());
    if (delay == 0) {
        ShowLatestProgress();
        return;
    }
    m_progressTimerSet = SetTimer(m_hWnd, kProgressTimerId, delay, nullptr) != 0;
    if (!m_progressTimerSet)
        ShowLatestProgress();
}

void DownloadWnd::ShowLatestProgress()
{
    const std::optional<ProgressValue> value = m_job ? m_job->TakeProgress() : std::nullopt;
    if (!value)
        return;
    if (value->phase != ProgressPhase::Download) {
        m_statusText = ProgressStatusText(*value);
        ShowStatus(m_statusText, ProgressBarValue(*value));
    } else {
        ShowStatus(ProgressStatusText(*value).c_str(), ProgressBarValue(*value));
    }
    if (m_pProgress)
        m_pProgress->SetText(ProgressPhaseName(value->phase));
    if (m_pDetail)
        m_pDetail->SetText(m_detail.Line(*value, GetTickCount() / 1000.0).c_str());
    m_progressPacer.ShownAt(GetTickCount());
}

std::wstring DownloadWnd::StatusText() const { return m_pStatus ? m_pStatus->GetText().GetData() : std::wstring(); }

std::wstring DownloadWnd::DetailText() const { return m_pDetail ? m_pDetail->GetText().GetData() : std::wstring(); }

int DownloadWnd::BarValue() const { return m_pProgress ? m_pProgress->GetValue() : 0; }

void DownloadWnd::ShowStatus(LPCTSTR text, int barValue)
{
    if (m_pProgress)
        m_pProgress->SetValue(barValue);
    if (m_pStatus)
        m_pStatus->SetText(text);
}

bool DownloadWnd::UserMayClose(WPARAM code)
{
    // The worker's own close after the installation (code 1), a failure already told, a worker
    // that has ended or been stopped, and unattended runs close without a question.
    if (code == 1 || m_finishing || !m_job || m_job->Ended() || m_job->StopRequested() || m_request.options.unattended)
        return true;
    if (m_askingToClose)
        return false; // a second close while the question shows
    m_askingToClose = true;
    const unsigned answer =
        ShowMessage(m_hWnd, text::kCaption, text::kCloseQuestion, kTwoButtonMessage | kCancelIsDefault);
    m_askingToClose = false;
    if (answer != 1 || !IsWindow(m_hWnd))
        return false;
    // Stopped within one block; the file being written is removed and nothing more is posted.
    StopWorker();
    return true;
}

void DownloadWnd::StopWorker()
{
    if (m_job)
        m_job->RequestStop();
}

void DownloadWnd::FinishWithFailure(InstallFailure failure, LPARAM detail)
{
    m_finishing = true;
    ShowLatestProgress();
    const std::wstring told = failure == InstallFailure::WorkFolderUnsafe
        ? WorkFolderRefusalText(m_request.workFolder, static_cast<WorkFolderProblem>(detail))
        : std::wstring(InstallFailureText(failure));
    ShowMessage(m_hWnd, text::kCaption, told.c_str(), kOneButtonMessage, AnswerFor(m_request.options.unattended));
    ::ShowWindow(m_hWnd, SW_HIDE);
    SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
}
