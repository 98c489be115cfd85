#include "app/station/station.h"

#include "app/package_key.h"
#include "app/program_directory.h"
#include "app/stick_eject.h"
#include "drives/drive_info.h"
#include "install/download_progress.h"
#include "install/extract_progress.h"
#include "install/package_extractor.h"
#include "install/read_back.h"
#include "install/worker_messages.h"
#include "install/zip_central_directory.h"
#include "net/file_downloader.h"
#include "net/http_request.h"
#include "net/package_address.h"
#include "platform/stop_signals.h"
#include "platform/win32.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExitAllInstalled = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitRefused = 2;

// The same rule as the normal run's drive check: GiB truncated to hundredths.
constexpr double kRequiredFreeGB = 4.5;
// Answers of 1 byte up to just under 1 MiB are the storage's error page for a missing package.
constexpr std::uint32_t kSmallestPackage = 1048576;

constexpr std::chrono::milliseconds kTick{100};
constexpr int kTicksPerScan = 5; // the drives are looked at every 500 ms

constexpr const wchar_t* kPulledText = L"检测到课件U盘已拔出，安装终止。";
constexpr const wchar_t* kStickTooSmallText = L"U盘空间不足4.5G，无法安装课件！";

enum class StickState { Writing, Verifying, Installed, Failed, Pulled, Interrupted };

// Lines on standard output from every stick's thread, one whole line at a time. On a terminal
// the sticks' lines stay at the bottom, one per stick, redrawn in place; other lines go above
// them. Elsewhere (a log, a pipe) every line is printed as it comes.
class StationOutput {
public:
    explicit StationOutput(bool redraw) : m_redraw(redraw) {}

    // A line of its own (the download, a skipped stick, the summary).
    void Line(const std::string& text)
    {
        const std::lock_guard lock(m_mutex);
        if (!m_redraw) {
            std::cout << text << std::endl;
            return;
        }
        MoveToBlock();
        std::cout << "\x1b[2K" << text << '\n';
        DrawBlock();
    }

    // The stick `name`'s line now says `text`.
    void StickLine(const std::string& name, const std::string& text)
    {
        const std::lock_guard lock(m_mutex);
        if (!m_redraw) {
            std::cout << name << ' ' << text << std::endl;
            return;
        }
        const auto it =
            std::find_if(m_sticks.begin(), m_sticks.end(), [&name](const auto& line) { return line.first == name; });
        if (it == m_sticks.end())
            m_sticks.emplace_back(name, text);
        else
            it->second = text;
        MoveToBlock();
        DrawBlock();
    }

    // The sticks' lines stay as they are; what follows is printed below them.
    void EndBlock()
    {
        const std::lock_guard lock(m_mutex);
        m_sticks.clear();
        m_drawn = 0;
    }

    // Progress shown in steps of this many percent: every percent on a terminal, ten elsewhere.
    int Step() const { return m_redraw ? 1 : 10; }

private:
    void MoveToBlock()
    {
        if (m_drawn > 0)
            std::cout << "\x1b[" << m_drawn << 'A';
    }
    void DrawBlock()
    {
        for (const auto& [name, text] : m_sticks)
            std::cout << "\r\x1b[2K" << name << ' ' << text << '\n';
        m_drawn = m_sticks.size();
        std::cout.flush();
    }

    const bool m_redraw;
    std::mutex m_mutex;
    std::vector<std::pair<std::string, std::string>> m_sticks; // in the order they were plugged in
    std::size_t m_drawn = 0; // stick lines on the screen below the cursor's line
};

struct Stick {
    Stick(const DriveInfo& drive, std::wstring label, const std::wstring& archivePath)
        : root(drive.driveName),
          name(platform::Narrow(label.empty() ? drive.driveName : drive.driveName + L" " + label)),
          extraction(archivePath, drive.driveName)
    {
    }

    const std::wstring root; // "E:"
    const std::string name; // "E: LABEL", how its lines begin
    PackageExtraction extraction;
    std::thread thread;
    std::atomic<bool> gone{false}; // the drive left while its thread ran
    std::atomic<bool> ended{false};

    // Written by the stick's thread before `ended`, read afterwards.
    StickState state = StickState::Writing;
    Clock::time_point start;
    Clock::time_point writeEnd;
    Clock::time_point end;
    std::uint64_t bytesWritten = 0;

    // Progress lines: the last phase and step printed (stick's thread).
    StickState shownState = StickState::Writing;
    int shownStep = -1;
};

std::wstring VolumeLabel(const std::wstring& driveName)
{
    wchar_t label[261] = {};
    const std::wstring root = driveName + L"\\";
    if (!GetVolumeInformationW(root.c_str(), label, 261, nullptr, nullptr, nullptr, nullptr, 0))
        return {};
    return label;
}

void ShowProgress(Stick& stick, StickState state, double percent, StationOutput& out)
{
    const int step = static_cast<int>(std::floor(percent / out.Step()));
    if (state == stick.shownState && step == stick.shownStep)
        return;
    stick.shownState = state;
    stick.shownStep = step;
    const std::wstring text = state == StickState::Writing ? FormatExtractStatus(percent) : FormatVerifyStatus(percent);
    out.StickLine(stick.name, platform::Narrow(text));
}

// The stick's thread: writing, then reading back, then its last line.
void InstallOntoStick(Stick& stick, const StationOptions& options, StationOutput& out)
{
    stick.start = Clock::now();
    ExtractionResult written = stick.extraction.Run([&stick, &out](std::uint64_t processed, std::uint64_t total) {
        ShowProgress(stick, StickState::Writing, ExtractPercent(processed, total), out);
    });
    stick.writeEnd = Clock::now();
    for (const WrittenFile& file : written.writtenFiles)
        stick.bytesWritten += file.size;
    std::string detail;
    if (!written.Ok()) {
        detail = written.error;
        if (written.failure == ExtractFailure::Cancelled)
            stick.state = stick.gone ? StickState::Pulled : StickState::Interrupted;
        else if (written.failure == ExtractFailure::StickPulled)
            stick.state = StickState::Pulled;
        else
            stick.state = StickState::Failed;
    } else if (options.verify) {
        const ReadBackOutcome outcome = VerifyWrittenFiles(
            written.stickRoot, written.writtenFiles,
            [&stick, &out](std::uint64_t done, std::uint64_t total) {
                ShowProgress(stick, StickState::Verifying, ExtractPercent(done, total), out);
            },
            &stick.extraction.CancelFlag());
        detail = outcome.diagnostic;
        switch (outcome.status) {
        case ReadBackOutcome::Status::Verified:
            stick.state = StickState::Installed;
            break;
        case ReadBackOutcome::Status::Stopped:
            stick.state = stick.gone ? StickState::Pulled : StickState::Interrupted;
            break;
        case ReadBackOutcome::Status::StickGone:
            stick.state = StickState::Pulled;
            break;
        case ReadBackOutcome::Status::Differs:
            stick.state = StickState::Failed;
            break;
        }
    } else {
        stick.state = StickState::Installed;
    }
    written.stickRoot = platform::FolderHandle(); // the stick is not held open any longer
    stick.end = Clock::now();

    std::string last;
    switch (stick.state) {
    case StickState::Installed:
        last = "安装完成";
        if (options.eject)
            last += "，" + platform::Narrow(EjectStick(stick.root));
        break;
    case StickState::Pulled:
        last = platform::Narrow(kPulledText);
        break;
    case StickState::Interrupted:
        last = "中断";
        break;
    case StickState::Failed:
        last = platform::Narrow(
            InstallFailureText(written.Ok() ? InstallFailure::Verification : FailureOf(written.failure)));
        if (!detail.empty())
            last += "（" + detail + "）";
        break;
    case StickState::Writing:
    case StickState::Verifying:
        break;
    }
    out.StickLine(stick.name, last);
    stick.ended.store(true, std::memory_order_release);
}

void Refuse(const wchar_t* text) { std::cerr << platform::Narrow(text) << std::endl; }

bool PackageMissing(int probedSize)
{
    const auto size = static_cast<std::uint32_t>(probedSize);
    return size >= 1 && size < kSmallestPackage;
}

// An archive an earlier run left in the work folder that can be used as it is: exactly the
// probed length, and its ZIP directory reads.
bool ReusableArchive(const std::string& nativePath, int probedSize)
{
    if (probedSize <= 0)
        return false;
    std::error_code error;
    const auto size = std::filesystem::file_size(nativePath, error);
    return !error && size == static_cast<std::uintmax_t>(probedSize) &&
        extraction::ReadCentralDirectory(nativePath).has_value();
}

enum class DownloadEnd { Done, Failed, Stopped };

// The download with the normal run's status lines: "正在下载 0%", then one line per whole
// percent.
DownloadEnd DownloadArchive(const std::string& url, const std::string& archivePath, StationOutput& out)
{
    out.Line(platform::Narrow(FormatDownloadStartStatus(0)));
    std::atomic<int> shown{-1};
    FileDownloader downloader(url, archivePath);
    downloader.SetProgressCallback([&shown, &out](double total, double received) {
        if (const auto percent = DownloadPercent(total, received)) {
            const int whole = static_cast<int>(*percent);
            if (shown.exchange(whole) != whole)
                out.Line(platform::Narrow(FormatDownloadStatus(whole)));
        }
        return 0;
    });
    if (!downloader.Start()) {
        Refuse(InstallFailureText(InstallFailure::Download));
        return DownloadEnd::Failed;
    }
    while (!downloader.IsFinished()) {
        if (downloader.IsFailed()) {
            Refuse(InstallFailureText(downloader.Failure() == DownloadFailure::LocalFile ? InstallFailure::DownloadSave
                                                                                         : InstallFailure::Download));
            return DownloadEnd::Failed;
        }
        if (platform::StopRequestedBySignal()) {
            downloader.Cancel();
            return DownloadEnd::Stopped;
        }
        std::this_thread::sleep_for(kTick);
    }
    return DownloadEnd::Done;
}

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

const char* ResultText(StickState state)
{
    switch (state) {
    case StickState::Installed:
        return "成功";
    case StickState::Pulled:
        return "已拔出";
    case StickState::Interrupted:
        return "中断";
    default:
        return "失败";
    }
}

void PrintSummary(const std::vector<std::unique_ptr<Stick>>& sticks, StationOutput& out)
{
    out.Line("U盘    结果    秒数    写入MB/s");
    for (const auto& stick : sticks) {
        const double seconds = std::chrono::duration<double>(stick->end - stick->start).count();
        const double writeSeconds = std::chrono::duration<double>(stick->writeEnd - stick->start).count();
        const double rate = writeSeconds > 0 ? static_cast<double>(stick->bytesWritten) / 1e6 / writeSeconds : 0.0;
        char line[160];
        std::snprintf(line, sizeof line, "%-6s %s %8.1f %10.1f", platform::Narrow(stick->root).c_str(),
            ResultText(stick->state), seconds, rate);
        out.Line(line);
    }
    out.Line("共" + std::to_string(sticks.size()) + "个U盘，成功" +
        std::to_string(std::count_if(
            sticks.begin(), sticks.end(), [](const auto& stick) { return stick->state == StickState::Installed; })) +
        "个");
}

} // namespace

int RunStation(const StationOptions& options)
{
    platform::CatchStopSignals();
    StationOutput out(platform::StandardOutputIsTerminal());

    // The hard-disk side, as the normal run does it.
    g_downloadDisk = PickDownloadDisk();
    if (FreeSpaceGB(g_downloadDisk) < kRequiredFreeGB) {
        Refuse(L"硬盘空间不足4.5G，无法下载！");
        return kExitRefused;
    }
    if (packageKey.empty()) {
        Refuse(L"未找到课件编号，无法安装！");
        return kExitRefused;
    }
    if (!IsSafePackageKey(packageKey)) {
        Refuse(L"课件编号无效，无法安装！");
        return kExitRefused;
    }
    packageFileName = MakePackageFileName(packageKey);
    SelectCloudBaseUrl();
    const std::wstring workFolder = g_downloadDisk.driveName + L"\\kelvo\\";
    const std::string url = PackageUrl(activeCloudBaseUrl, packageFileName);
    const std::string archivePath = platform::Narrow(workFolder) + packageFileName;
    const int size = GetRemoteFileSize(url);
    if (PackageMissing(size)) {
        Refuse(L"当前书册的下载文件不存在，请添加微信kelvohelp001解决！");
        return kExitRefused;
    }
    if (!IsFolder(workFolder))
        SHCreateDirectoryExW(nullptr, workFolder.c_str(), nullptr);
    const std::optional<std::string> nativeArchive = platform::NativePath(archivePath);
    if (!IsFolder(workFolder) || !nativeArchive) {
        Refuse(InstallFailureText(InstallFailure::WorkFolder));
        return kExitRefused;
    }

    if (ReusableArchive(*nativeArchive, size)) {
        out.Line("使用硬盘上已下载的课件：" + archivePath);
    } else {
        if (ProbeServer() != 0 && !IsInternetConnected()) {
            Refuse(InstallFailureText(InstallFailure::NetworkUnavailable));
            return kExitSomeFailed;
        }
        DeleteFileA(archivePath.c_str()); // an archive left by an earlier run
        const DownloadEnd downloaded = DownloadArchive(url, archivePath, out);
        if (downloaded != DownloadEnd::Done) {
            DeleteFileA(archivePath.c_str()); // half an archive is of no use to anybody
            if (downloaded == DownloadEnd::Stopped)
                out.Line("下载中断");
            return kExitSomeFailed;
        }
    }
    const std::wstring archive = platform::Widen(archivePath);

    // The sticks: every removable drive present and every one plugged in later.
    std::vector<std::unique_ptr<Stick>> started;
    std::map<std::wstring, Stick*> plugged; // by drive name; null for a stick that was skipped
    std::vector<DriveInfo> drives;
    for (int tick = 0;; ++tick) {
        if (platform::StopRequestedBySignal())
            break;
        const auto finished =
            std::count_if(started.begin(), started.end(), [](const auto& stick) { return stick->ended.load(); });
        if (options.count && finished >= *options.count)
            break;
        if (tick % kTicksPerScan == 0) {
            ScanRemovableDrives(g_driveLetters, drives);
            for (auto it = plugged.begin(); it != plugged.end();) {
                const bool present = std::any_of(drives.begin(), drives.end(),
                    [&it](const DriveInfo& drive) { return drive.driveName == it->first; });
                if (present) {
                    ++it;
                    continue;
                }
                if (Stick* stick = it->second; stick && !stick->ended) {
                    stick->gone = true;
                    stick->extraction.Cancel();
                }
                it = plugged.erase(it);
            }
            for (const DriveInfo& drive : drives) {
                if (plugged.contains(drive.driveName))
                    continue;
                const std::wstring label = VolumeLabel(drive.driveName);
                if (FreeSpaceGB(drive) < kRequiredFreeGB) {
                    const std::wstring name = label.empty() ? drive.driveName : drive.driveName + L" " + label;
                    out.Line(platform::Narrow(name + L" " + kStickTooSmallText));
                    plugged[drive.driveName] = nullptr;
                    continue;
                }
                auto stick = std::make_unique<Stick>(drive, label, archive);
                Stick& added = *stick;
                started.push_back(std::move(stick));
                plugged[drive.driveName] = &added;
                added.thread = std::thread(InstallOntoStick, std::ref(added), std::cref(options), std::ref(out));
            }
        }
        std::this_thread::sleep_for(kTick);
    }

    // Sticks still at work are stopped: the file being written is removed.
    for (const auto& stick : started)
        stick->extraction.Cancel();
    for (const auto& stick : started)
        stick->thread.join();
    out.EndBlock();
    PrintSummary(started, out);
    const bool allInstalled = std::all_of(
        started.begin(), started.end(), [](const auto& stick) { return stick->state == StickState::Installed; });
    return allInstalled ? kExitAllInstalled : kExitSomeFailed;
}
