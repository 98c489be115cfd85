#include "app/start_flow.h"

#include "app/drive_check.h"
#include "app/main_window.h"
#include "app/package_key.h"
#include "app/run_outcome.h"
#include "install/download_wnd.h"
#include "net/http_request.h"
#include "net/package_address.h"
#include "ui/message_dialog.h"
#include "ui/unattended.h"

#include <cstdint>

bool g_installStarted = false;
bool g_drivePulled = false;
DownloadWnd* g_downloadWnd = nullptr;
bool g_verifyWrittenFiles = true;

namespace {

// Answers of 1 byte up to just under 1 MiB are the storage's error page for a package that
// does not exist; 0, larger answers and "no answer" (-1, read unsigned) go on.
constexpr std::uint32_t kSmallestPackage = 1048576;

constexpr DWORD kDownloadWindowStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;

std::string ToAnsi(const CDuiString& text)
{
    const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, text.GetData(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_THREAD_ACP, 0, text.GetData(), -1, narrow.data(), size, nullptr, nullptr);
    narrow.resize(narrow.empty() ? 0 : narrow.size() - 1);
    return narrow;
}

bool PackageMissing(int probedSize)
{
    const auto size = static_cast<std::uint32_t>(probedSize);
    return size >= 1 && size < kSmallestPackage;
}

} // namespace

void Refuse(HWND owner, const wchar_t* text)
{
    ShowMessage(owner, L"提示", text, 2);
    if (IsUnattended()) {
        g_runOutcome = RunOutcome::Failed;
        PostQuitMessage(0);
    }
}

void RunStartFlow(CDuiFrameWnd& frame)
{
    const HWND mainWindow = frame.GetHWND();
    if (g_driveState == DriveState::Unchecked)
        return;
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
    const std::string workFolder = ToAnsi(frame.m_workFolder);
    const std::string url = activeCloudBaseUrl + packageFileName;
    const std::string archivePath = workFolder + packageFileName;

    if (PackageMissing(GetRemoteFileSize(url))) {
        Refuse(nullptr, L"当前书册的下载文件不存在，请添加微信kelvohelp001解决！");
        return;
    }
    DeleteFileA(archivePath.c_str());   // an archive left by an earlier run

    g_installStarted = true;
    ShowWindow(mainWindow, SW_HIDE);
    g_downloadWnd = new DownloadWnd(url, archivePath, workFolder, g_removableDrives.front().driveName);
    g_downloadWnd->m_ownerWnd = mainWindow;
    g_downloadWnd->m_verifyWrittenFiles = g_verifyWrittenFiles;
    g_downloadWnd->Create(nullptr, L"正在安装", kDownloadWindowStyle, WS_EX_WINDOWEDGE, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, nullptr);
    g_downloadWnd->CenterWindow();
    g_downloadWnd->ShowModal();
}
