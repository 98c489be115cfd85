// Every text the program says to its user, in one place: the refusals, the failures, the
// questions and the lines of the station. Each stands exactly as the user reads it.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace text {

// Captions.
inline constexpr const wchar_t* kCaption = L"提示";
inline constexpr const wchar_t* kDownloadWindowTitle = L"正在安装";
inline constexpr const wchar_t* kCompleteWindowTitle = L"安装完成";

// The drive check.
inline constexpr const wchar_t* kTooManySticks = L"请仅保留需要安装课件的U盘，多余的盘移除后，再继续操作！";
inline constexpr const wchar_t* kNoStick = L"请插入需要安装课件的U盘后，再继续操作！";
inline constexpr const wchar_t* kStickTooSmall = L"U盘空间不足4.5G，无法安装课件！";
inline constexpr const wchar_t* kDiskTooSmall = L"硬盘空间不足4.5G，无法下载！";

// The package.
inline constexpr const wchar_t* kNoPackageKey = L"未找到课件编号，无法安装！";
inline constexpr const wchar_t* kBadPackageKey = L"课件编号无效，无法安装！";
inline constexpr const wchar_t* kPackageMissing = L"当前书册的下载文件不存在，请添加微信kelvohelp001解决！";
// A proxy between the station and the storage wants credentials (HTTP 407).
inline constexpr const wchar_t* kProxyRefused = L"学校网络的代理服务器拒绝了连接，请联系网络管理员。";
// The package on the storage changed while it was downloaded (a cache still holds the old one).
inline constexpr const wchar_t* kPackageChanged = L"云端的课件文件已更新，请稍后再试。";

// The run.
inline constexpr const wchar_t* kAlreadyRunning = L"课件安装工具已在运行。";
inline constexpr const wchar_t* kCloseQuestion = L"课件正在安装，现在退出会导致U盘中的课件不完整，确定要退出吗？";
inline constexpr const wchar_t* kStickPulled = L"检测到课件U盘已拔出，安装终止。";
inline constexpr const wchar_t* kInstallAborted = L"文件写入失败，程序终止";
inline constexpr const wchar_t* kInstalled = L"安装完成";
// Said instead where the package was not read back (--no-verify): a log must tell them apart.
inline constexpr const wchar_t* kInstalledUnverified = L"安装完成（未校验）";

// The failures of the installation, by the side that failed.
inline constexpr const wchar_t* kNetworkUnavailable = L"网络不可用，请稍后再试。";
inline constexpr const wchar_t* kWorkFolderFailed = L"无法在硬盘上创建下载文件夹，安装终止。";
// A work folder that others could change is not used: "下载文件夹“C:\kelvo”不安全（它是一个链接），
// 安装终止。", with one of the reasons below.
inline std::wstring WorkFolderUnsafe(std::wstring_view folder, std::wstring_view reason)
{
    return L"下载文件夹“" + std::wstring(folder) + L"”不安全（" + std::wstring(reason) + L"），安装终止。";
}
inline constexpr const wchar_t* kWorkFolderIsLink = L"它是一个链接";
inline constexpr const wchar_t* kWorkFolderNotAFolder = L"它不是文件夹";
inline constexpr const wchar_t* kWorkFolderNotAdministrators = L"它不属于管理员";
inline constexpr const wchar_t* kWorkFolderWritableByOthers = L"其他用户也可以写入";
inline constexpr const wchar_t* kDownloadFailed = L"课件下载失败，请检查网络后重试。";
inline constexpr const wchar_t* kStickWriteFailed = L"课件写入U盘失败，请检查U盘后重试。";
// The status line while a cut download waits to go on: the try to come (1 to 5) and the wait.
inline std::wstring DownloadRetryStatus(int attempt, int seconds)
{
    return L"网络中断，" + std::to_wstring(seconds) + L"秒后继续下载（第" + std::to_wstring(attempt) + L"次重试）";
}
// The status line while the server has taken the request and sent nothing yet (a caching mirror
// that fills its cache first).
inline constexpr const wchar_t* kWaitingForServer = L"正在等待服务器…";
// The download window's second line (and the figures of the printed progress lines): the
// phase's step, the speed and the time left, joined by kDetailSeparator.
inline constexpr const wchar_t* kDetailSeparator = L"  ";
// "第2步，共3步".
inline std::wstring ProgressStep(int step, int steps)
{
    return L"第" + std::to_wstring(step) + L"步，共" + std::to_wstring(steps) + L"步";
}
// "12.3 MB/s" from 1 MB/s on (a MB is 1 000 000 bytes), "850 kB/s" below; '.' in any locale.
inline std::wstring TransferSpeed(double bytesPerSecond)
{
    const bool mega = bytesPerSecond >= 1e6;
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, mega ? bytesPerSecond / 1e6 : bytesPerSecond / 1e3,
        std::chars_format::fixed, mega ? 1 : 0)
                         .ptr;
    return std::wstring(digits, end) + (mega ? L" MB/s" : L" kB/s");
}
// "剩余约N秒" under a minute, "剩余约N分钟" under an hour (to the nearest minute), "剩余约H小时"
// or "剩余约H小时M分钟" beyond.
inline std::wstring TimeLeft(std::uint64_t seconds)
{
    if (seconds < 60)
        return L"剩余约" + std::to_wstring(seconds) + L"秒";
    const std::uint64_t minutes = (seconds + 30) / 60;
    if (minutes < 60)
        return L"剩余约" + std::to_wstring(minutes) + L"分钟";
    const std::wstring hours = L"剩余约" + std::to_wstring(minutes / 60) + L"小时";
    return minutes % 60 == 0 ? hours : hours + std::to_wstring(minutes % 60) + L"分钟";
}
// The progress bar's name for screen readers: the phase it shows.
inline constexpr const wchar_t* kPhaseDownload = L"下载";
inline constexpr const wchar_t* kPhaseWrite = L"写入";
inline constexpr const wchar_t* kPhaseVerify = L"校验";
// An unattended run stopped by a signal.
inline constexpr const wchar_t* kInstallInterrupted = L"安装已中断。";
// Why the machine must not sleep now (what the system shows for the program's inhibitor).
inline constexpr const char* kSleepInhibitReason = "正在安装课件";
inline constexpr const wchar_t* kDownloadSaveFailed = L"课件无法保存到硬盘，请检查硬盘后重试。";
inline constexpr const wchar_t* kArchiveDamaged = L"下载的课件文件已损坏，请重试。";
inline constexpr const wchar_t* kArchiveContent = L"课件文件中有无法安装的内容，请联系课件提供方。";
inline constexpr const wchar_t* kFileTooLargeForFat32 =
    L"课件中有大于4GB的文件，FAT32格式的U盘无法保存，请将U盘格式化为exFAT后重试。";
inline constexpr const wchar_t* kStickFull = L"U盘剩余空间不足，无法安装本课件，请清理U盘或更换更大的U盘后重试。";
inline constexpr const wchar_t* kVerificationFailed = L"U盘校验失败，课件未能完整写入，请更换U盘后重试。";

// Rights could not be had: no pkexec, no polkit agent, the password refused or the dialog
// dismissed.
inline constexpr const wchar_t* kNoAdministratorRights =
    L"无法获得管理员权限，课件安装工具需要管理员权限才能安装课件。";

// Ejecting the installed stick.
inline constexpr const wchar_t* kEjected = L"U盘已弹出，可以拔下。";
inline constexpr const wchar_t* kNotEjected = L"U盘已安全写入，可以拔下，但未能弹出。";
inline constexpr const wchar_t* kVolumeMapStickNotEjected = L"卷映射中的U盘无法弹出。";

// Station mode's lines.
inline constexpr const char* kStationReusedArchive = "使用硬盘上已下载的课件：";
inline constexpr const char* kStationDownloadStopped = "下载中断";
inline constexpr const char* kStationArchiveDownloadedAgain = "硬盘上的课件文件已损坏，重新下载";
inline constexpr const char* kStationStickStopped = "中断";
inline constexpr const char* kStationSummaryHeader = "U盘    结果    秒数    写入MB/s";
inline constexpr const char* kStationResultInstalled = "成功";
inline constexpr const char* kStationResultInstalledUnverified = "成功（未校验）";
inline constexpr const char* kStationResultFailed = "失败";
inline constexpr const char* kStationResultPulled = "已拔出";
inline constexpr const char* kStationResultStopped = "中断";

} // namespace text
