#include "app/start_flow.h"

#include "app/busy_wait.h"
#include "app/drive_check.h"
#include "app/install_preparation.h"
#include "app/main_window.h"
#include "app/package_key.h"
#include "download_window/download_wnd.h"
#include "net/http_request.h"
#include "net/package_address.h"
#include "ui/message_dialog.h"
#include "ui/user_texts.h"

#include <atomic>
#include <optional>

bool g_installStarted = false;
bool g_drivePulled = false;
DownloadWnd* g_downloadWnd = nullptr;

namespace {

// Marks the size probe as running for as long as it lives.
class ProbeRunning {
public:
    explicit ProbeRunning(bool& running) : m_running(running) { m_running = true; }
    ~ProbeRunning() { m_running = false; }
    ProbeRunning(const ProbeRunning&) = delete;
    ProbeRunning& operator=(const ProbeRunning&) = delete;

private:
    bool& m_running;
};

constexpr DWORD kDownloadWindowStyle =
    WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;

} // namespace

void Refuse(CDuiFrameWnd& frame, HWND owner, const wchar_t* text)
{
    ShowMessage(owner, text::kCaption, text, kOneButtonMessage, AnswerFor(frame.m_options.unattended));
    if (frame.m_options.unattended) {
        frame.m_outcome = RunOutcome::Failed;
        PostQuitMessage(0);
    }
}

void RunStartFlow(CDuiFrameWnd& frame)
{
    // One installation per run: a second click that got through before the window went away
    // starts nothing.
    if (g_installStarted)
        return;
    const HWND mainWindow = frame.GetHWND();
    if (g_driveState == DriveState::Unchecked)
        return;
    // Only the window's own minimise and close buttons work while the flow runs.
    const auto windowButton = [&frame](const MSG& input) {
        if (input.message != WM_LBUTTONDOWN && input.message != WM_LBUTTONUP)
            return false;
        const CControlUI* control =
            frame.PaintManager().FindControl(POINT{GET_X_LPARAM(input.lParam), GET_Y_LPARAM(input.lParam)});
        return control && (control->GetName() == L"closebtn" || control->GetName() == L"minbtn");
    };
    // One message at a time: clicks and keys that reach the window while a refusal is shown
    // (queued behind this click, or made while the message is up) are dropped.
    const CInputHold hold(
        frame.PaintManager(), [&windowButton, mainWindow](UINT message, WPARAM wParam, LPARAM lParam) {
            MSG input;
            input.hwnd = mainWindow;
            input.message = message;
            input.wParam = wParam;
            input.lParam = lParam;
            return message == WM_MOUSEMOVE || message == WM_MOUSELEAVE || windowButton(input);
        });
    if (const wchar_t* refusal = DriveRefusalText(g_driveState)) {
        Refuse(frame, DriveRefusalHasOwner(g_driveState) ? mainWindow : nullptr, refusal);
        return;
    }
    // The probe may take long: the window keeps painting meanwhile, and closing the program ends
    // the probe and the flow. Drives that come and go meanwhile are checked as they do, and
    // once more when the probe returns.
    const SizeProbe probe = [&](const std::string& url) -> std::optional<ProbedFile> {
        // The key passed: the click is accepted.
        g_installStarted = true;
        const ProbeRunning running(frame.m_sizeProbeRunning);
        ProbedFile probed;
        const std::optional<int> ran = RunWhileDispatching(
            mainWindow,
            [&url, &probed, &proxy = frame.m_options.proxy](const std::atomic<bool>& cancel) {
                probed = ProbeRemoteFile(url, &cancel, proxy).value_or(ProbedFile{});
                return 0;
            },
            windowButton);
        if (!ran || !IsWindow(mainWindow) || g_drivePulled)
            return std::nullopt;
        return probed;
    };
    const auto prepared = PrepareInstallation(packageKey, frame.m_downloadDisk, probe);
    if (!prepared) {
        if (prepared.Failure() != PreparationStop::Abandoned)
            g_installStarted = false;
        if (const wchar_t* refusal = PreparationStopText(prepared.Failure()))
            Refuse(frame, nullptr, refusal);
        return;
    }
    packageFileName = prepared->fileName;
    // What was plugged in or pulled out while the probe ran decides as the first click's check
    // would have; the next click is a new one then.
    g_driveState = CheckDriveState();
    if (const wchar_t* refusal = DriveRefusalText(g_driveState)) {
        g_installStarted = false;
        Refuse(frame, DriveRefusalHasOwner(g_driveState) ? mainWindow : nullptr, refusal);
        return;
    }
    // An archive left by an earlier run is removed by the worker through its handle on the
    // work folder, just before the new one is made there.
    frame.m_workFolder = platform::Widen(prepared->workFolder).c_str();

    ShowWindow(mainWindow, SW_HIDE);
    g_downloadWnd = new DownloadWnd({prepared->url, prepared->archivePath, prepared->workFolder,
                                        g_removableDrives.front().driveName, frame.m_options, prepared->probed},
        mainWindow);
    g_downloadWnd->Create(nullptr, text::kDownloadWindowTitle, kDownloadWindowStyle, WS_EX_WINDOWEDGE, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr);
    g_downloadWnd->CenterWindow();
    g_downloadWnd->ShowModal();
}
