#include "app/start_flow.h"

#include "app/busy_wait.h"
#include "app/drive_check.h"
#include "app/main_window.h"
#include "app/package_key.h"
#include "app/run_outcome.h"
#include "install/download_wnd.h"
#include "net/http_request.h"
#include "net/package_address.h"
#include "ui/message_dialog.h"
#include "ui/unattended.h"

#include <atomic>
#include <cstdint>
#include <optional>

bool g_installStarted = false;
bool g_drivePulled = false;
DownloadWnd* g_downloadWnd = nullptr;
bool g_verifyWrittenFiles = true;

namespace {

// Answers of 1 byte up to just under 1 MiB are the storage's error page for a package that
// does not exist; 0, larger answers and "no answer" (-1, read unsigned) go on.
constexpr std::uint32_t kSmallestPackage = 1048576;

constexpr DWORD kDownloadWindowStyle =
    WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;

bool PackageMissing(int probedSize)
{
    const auto size = static_cast<std::uint32_t>(probedSize);
    return size >= 1 && size < kSmallestPackage;
}

} // namespace

void Refuse(HWND owner, const wchar_t* text)
{
    ShowMessage(owner, L"提示", text, kOneButtonMessage);
    if (IsUnattended()) {
        g_runOutcome = RunOutcome::Failed;
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
        Refuse(DriveRefusalHasOwner(g_driveState) ? mainWindow : nullptr, refusal);
        return;
    }
    if (packageKey.empty()) {
        Refuse(nullptr, L"未找到课件编号，无法安装！");
        return;
    }
    if (!IsSafePackageKey(packageKey)) {
        Refuse(nullptr, L"课件编号无效，无法安装！");
        return;
    }
    packageFileName = MakePackageFileName(packageKey);

    frame.m_workFolder = frame.m_downloadDisk.driveName + L"\\kelvo\\";
    const std::string workFolder = platform::Narrow(frame.m_workFolder.GetData());
    // The URL carries the name percent-encoded; the archive on the disk keeps it as it is.
    const std::string url = PackageUrl(activeCloudBaseUrl, packageFileName);
    const std::string archivePath = workFolder + packageFileName;

    // The click is accepted. The probe may take long: the window keeps painting meanwhile and
    // takes no other input, and closing the program ends the probe and the flow.
    g_installStarted = true;
    const std::optional<int> size = RunWhileDispatching(
        mainWindow, [&url](const std::atomic<bool>& cancel) { return GetRemoteFileSize(url, &cancel); }, windowButton);
    if (!size || !IsWindow(mainWindow) || g_drivePulled)
        return;
    if (PackageMissing(*size)) {
        g_installStarted = false;
        Refuse(nullptr, L"当前书册的下载文件不存在，请添加微信kelvohelp001解决！");
        return;
    }
    DeleteFileA(archivePath.c_str()); // an archive left by an earlier run

    ShowWindow(mainWindow, SW_HIDE);
    g_downloadWnd = new DownloadWnd(url, archivePath, workFolder, g_removableDrives.front().driveName);
    g_downloadWnd->m_ownerWnd = mainWindow;
    g_downloadWnd->m_verifyWrittenFiles = g_verifyWrittenFiles;
    g_downloadWnd->Create(nullptr, L"正在安装", kDownloadWindowStyle, WS_EX_WINDOWEDGE, CW_USEDEFAULT, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, nullptr);
    g_downloadWnd->CenterWindow();
    g_downloadWnd->ShowModal();
}
