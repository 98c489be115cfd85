// What the download window shows while the archive is downloaded.
#pragma once

#include <optional>
#include <string>

// Share of the download received, received ÷ total × 100; nullopt while the total is not
// known (0 or less), when nothing is to be shown.
std::optional<double> DownloadPercent(double total, double received);

// "正在下载 %d%%": the line the window opens with (0 gives "正在下载 0%").
std::wstring FormatDownloadStartStatus(int percent);
// "正在下载文件：%d%%": 42 gives "正在下载文件：42%".
std::wstring FormatDownloadStatus(int percent);
