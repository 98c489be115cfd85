#include "session/download_progress.h"

std::optional<double> DownloadPercent(double total, double received)
{
    if (!(total > 0.0))
        return std::nullopt;
    return received / total * 100.0;
}

std::wstring FormatDownloadStartStatus(int percent) { return L"正在下载 " + std::to_wstring(percent) + L"%"; }

std::wstring FormatDownloadStatus(int percent) { return L"正在下载文件：" + std::to_wstring(percent) + L"%"; }
