#include "install/download_progress.h"

#include <cmath>

std::optional<double> DownloadPercent(double total, double received)
{
    if (!(total > 0.0))
        return std::nullopt;
    return received / total * 100.0;
}

int DownloadWholePercent(double percent)
{
    if (!(percent > 0.0))   // also NaN
        return 0;
    if (percent >= 100.0)
        return 100;
    return static_cast<int>(std::trunc(percent));
}

std::wstring FormatDownloadStartStatus(int percent)
{
    return L"正在下载 " + std::to_wstring(percent) + L"%";
}

std::wstring FormatDownloadStatus(int percent)
{
    return L"正在下载文件：" + std::to_wstring(percent) + L"%";
}
