// The private messages the install worker posts to the download window, and the failures
// it reports that way.
#pragma once

#include "install/package_extractor.h"
#include "platform/win32_window.h"

// New progress waits in the window's ProgressRelay. wParam 0, lParam 0.
inline constexpr UINT WM_INSTALL_PROGRESS = WM_USER + 1015;
// The installation failed; wParam is the InstallFailure. The window tells the user, hides
// and closes; once a stop was requested (the stick was pulled) it drops the message. lParam 0.
inline constexpr UINT WM_INSTALL_FAILED = WM_USER + 1016;

enum class InstallFailure : WPARAM {
    NetworkUnavailable = 1,
    WorkFolder = 2,
    Download = 3,
    Extraction = 4, // writing onto the stick failed
    DownloadSave = 5, // the archive could not be written into the work folder
    ArchiveDamaged = 6, // the downloaded archive cannot be read
    ArchiveContent = 7, // the archive holds entries that cannot be installed
    FileTooLargeForFat32 = 8, // a file of 4 GiB or more for a FAT32 stick
    Verification = 9, // what was read back from the stick is not what was written
};

// The message the user reads for the failure.
inline LPCWSTR InstallFailureText(InstallFailure failure)
{
    switch (failure) {
    case InstallFailure::NetworkUnavailable:
        return L"网络不可用，请稍后再试。";
    case InstallFailure::WorkFolder:
        return L"无法在硬盘上创建下载文件夹，安装终止。";
    case InstallFailure::Download:
        return L"课件下载失败，请检查网络后重试。";
    case InstallFailure::Extraction:
        return L"课件写入U盘失败，请检查U盘后重试。";
    case InstallFailure::DownloadSave:
        return L"课件无法保存到硬盘，请检查硬盘后重试。";
    case InstallFailure::ArchiveDamaged:
        return L"下载的课件文件已损坏，请重试。";
    case InstallFailure::ArchiveContent:
        return L"课件文件中有无法安装的内容，请联系课件提供方。";
    case InstallFailure::FileTooLargeForFat32:
        return L"课件中有大于4GB的文件，FAT32格式的U盘无法保存，请将U盘格式化为exFAT后重试。";
    case InstallFailure::Verification:
        return L"U盘校验失败，课件未能完整写入，请更换U盘后重试。";
    }
    return L"";
}

// The failure the user is told of for an extraction that failed.
inline InstallFailure FailureOf(ExtractFailure failure)
{
    switch (failure) {
    case ExtractFailure::ArchiveUnreadable:
        return InstallFailure::ArchiveDamaged;
    case ExtractFailure::ArchiveContent:
        return InstallFailure::ArchiveContent;
    case ExtractFailure::TooLargeForFat32:
        return InstallFailure::FileTooLargeForFat32;
    default:
        return InstallFailure::Extraction;
    }
}
