// The private messages the install worker posts to the download window, and the failures
// it reports that way.
#pragma once

#include "platform/win32_window.h"

// New progress waits in the window's ProgressRelay. wParam 0, lParam 0.
inline constexpr UINT WM_INSTALL_PROGRESS = WM_USER + 1015;
// The installation failed; wParam is the InstallFailure. The window tells the user, hides
// and closes. lParam 0.
inline constexpr UINT WM_INSTALL_FAILED = WM_USER + 1016;

enum class InstallFailure : WPARAM {
    NetworkUnavailable = 1,
    WorkFolder = 2,
    Download = 3,
    Extraction = 4,
    DownloadSave = 5,   // the archive could not be written into the work folder
};

// The message the user reads for the failure.
inline LPCWSTR InstallFailureText(InstallFailure failure)
{
    switch (failure) {
    case InstallFailure::NetworkUnavailable: return L"网络不可用，请稍后再试。";
    case InstallFailure::WorkFolder: return L"无法在硬盘上创建下载文件夹，安装终止。";
    case InstallFailure::Download: return L"课件下载失败，请检查网络后重试。";
    case InstallFailure::Extraction: return L"课件写入U盘失败，请检查U盘后重试。";
    case InstallFailure::DownloadSave: return L"课件无法保存到硬盘，请检查硬盘后重试。";
    }
    return L"";
}
