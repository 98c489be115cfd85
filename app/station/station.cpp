#include "app/station/station.h"

#include "app/install_preparation.h"
#include "app/program_directory.h"
#include "app/stick_eject.h"
#include "drives/drive_info.h"
#include "extraction/archive_check.h"
#include "extraction/extract_progress.h"
#include "extraction/package_extractor.h"
#include "extraction/zip_central_directory.h"
#include "net/file_downloader.h"
#include "net/http_request.h"
#include "net/package_address.h"
#include "platform/diagnostics.h"
#include "platform/sleep_inhibitor.h"
#include "platform/stop_signals.h"
#include "platform/volume_events.h"
#include "platform/volume_table.h"
#include "platform/win32.h"
#include "session/download_progress.h"
#include "session/install_failure.h"
#include "session/install_session.h"
#include "session/progress_detail.h"
#include "session/work_folder.h"
#include "ui/user_texts.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExitAllInstalled = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitRefused = 2;
// Who holds off sleep, as the system shows it.
constexpr const char* kProgramName = "installer";

// How often the loop looks whether a stop signal arrived; volumes and sticks that end wake it
// at once.
constexpr std::chrono::milliseconds kSignalCheck{100};

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
    Stick(const DriveInfo& drive, std::wstring label, platform::VolumeEvents& loop)
        : loop(loop), root(drive.driveName),
          name(platform::Narrow(label.empty() ? drive.driveName : drive.driveName + L" " + label))
    {
    }

    platform::VolumeEvents& loop; // woken when the stick's thread ends
    const std::wstring root; // "E:"
    const std::string name; // "E: LABEL", how its lines begin
    std::stop_source stop; // the writing stops between two blocks, the file being written is removed
    std::thread thread;
    std::atomic<bool> gone{false}; // the drive left while its thread ran
    std::atomic<bool> ended{false};
    bool superseded = false; // failed by a damaged archive and written again (the loop's)

    // Written by the stick's thread before `ended`, read afterwards.
    StickState state = StickState::Writing;
    ExtractFailure failure = ExtractFailure::None;
    Clock::time_point start;
    Clock::time_point writeEnd;
    Clock::time_point end;
    std::uint64_t bytesWritten = 0;

    // Progress lines: the last phase and step printed, and the figures (stick's thread).
    StickState shownState = StickState::Writing;
    int shownStep = -1;
    std::optional<ProgressDetail> detail;
};

double SteadySeconds() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

// A progress line with the step, the speed and the time left after it, once the speed is known.
std::string WithFigures(const std::wstring& line, ProgressDetail& detail, const ProgressValue& value)
{
    detail.Line(value, SteadySeconds());
    const std::wstring figures = detail.Figures();
    return platform::Narrow(figures.empty() ? line : line + text::kDetailSeparator + figures);
}

std::wstring VolumeLabel(const std::wstring& driveName)
{
    wchar_t label[261] = {};
    const std::wstring root = driveName + L"\\";
    if (!GetVolumeInformationW(root.c_str(), label, 261, nullptr, nullptr, nullptr, nullptr, 0))
        return {};
    return label;
}

void ShowProgress(Stick& stick, StickState state, std::uint64_t done, std::uint64_t total, StationOutput& out)
{
    const double percent = ExtractPercent(done, total);
    const ProgressValue value{
        state == StickState::Writing ? ProgressPhase::Extract : ProgressPhase::Verify, percent, 0, 0, done, total};
    stick.detail->Line(value, SteadySeconds());
    const int step = static_cast<int>(std::floor(percent / out.Step()));
    if (state == stick.shownState && step == stick.shownStep)
        return;
    stick.shownState = state;
    stick.shownStep = step;
    const std::wstring text = state == StickState::Writing ? FormatExtractStatus(percent) : FormatVerifyStatus(percent);
    out.StickLine(stick.name, WithFigures(text, *stick.detail, value));
}

// One stick's progress as its line shows it.
class StickEvents : public SessionEvents {
public:
    StickEvents(Stick& stick, StationOutput& out) : m_stick(stick), m_out(out) {}
    void Progress(SessionPhase phase, std::uint64_t done, std::uint64_t total) override
    {
        if (phase != SessionPhase::Download)
            ShowProgress(m_stick, phase == SessionPhase::Write ? StickState::Writing : StickState::Verifying, done,
                total, m_out);
    }

private:
    Stick& m_stick;
    StationOutput& m_out;
};

// The stick's thread: writing, then reading back, then its last line.
void InstallOntoStick(Stick& stick, const InstallSession& session, const StationOptions& options, StationOutput& out)
{
    stick.start = Clock::now();
    stick.detail.emplace(options.verify);
    StickEvents events(stick, out);
    const StickOutcome outcome = session.WriteStick(stick.root, stick.stop.get_token(), events);
    stick.writeEnd = outcome.writeEnd;
    stick.bytesWritten = outcome.bytesWritten;
    stick.failure = outcome.extractFailure;
    switch (outcome.status) {
    case SessionOutcome::Status::Done:
        stick.state = StickState::Installed;
        break;
    case SessionOutcome::Status::Stopped:
        stick.state = stick.gone ? StickState::Pulled : StickState::Interrupted;
        break;
    case SessionOutcome::Status::StickPulled:
        stick.state = StickState::Pulled;
        break;
    case SessionOutcome::Status::Failed:
        stick.state = StickState::Failed;
        break;
    }
    stick.end = Clock::now();

    std::string last;
    switch (stick.state) {
    case StickState::Installed:
        last = platform::Narrow(options.verify ? text::kInstalled : text::kInstalledUnverified);
        if (options.eject)
            last += "，" + platform::Narrow(EjectStick(stick.root));
        break;
    case StickState::Pulled:
        last = platform::Narrow(text::kStickPulled);
        break;
    case StickState::Interrupted:
        last = text::kStationStickStopped;
        break;
    case StickState::Failed:
        last = platform::Narrow(InstallFailureText(outcome.failure));
        if (!outcome.detail.empty())
            last += "（" + outcome.detail + "）";
        break;
    case StickState::Writing:
    case StickState::Verifying:
        break;
    }
    out.StickLine(stick.name, last);
    stick.ended.store(true, std::memory_order_release);
    stick.loop.Wake();
}

void Refuse(const wchar_t* said) { std::cerr << platform::Narrow(said) << std::endl; }

// An archive an earlier run left in the work folder that can be used as it is: a file (never
// a link) of exactly the probed length whose ZIP directory reads, and known whole: the record
// of the finished download that made it names the probed version, or else every entry reads
// in full with its CRC right. Only in a work folder on a disk the system owns. Fails with why
// it is not used; empty when there is nothing to say beyond that it is missing or not whole.
platform::Result<void, std::string> ReusableArchive(
    const WorkFolder& folder, const std::string& name, const RemoteVersion& probed)
{
    if (probed.length <= 0 || !folder.TrustsWhatItHolds())
        return std::string();
    const platform::Result<platform::ReadableFile> file = folder.Handle().OpenFile(name);
    if (!file && file.Failure().code == ENOENT)
        return std::string();
    if (!file)
        return platform::SystemError(file.Failure().code, "open " + folder.NativePathOf(name)).Text();
    const platform::Result<std::uint64_t> size = file->Size();
    if (!size)
        return platform::SystemError(size.Failure().code, "read the length of " + folder.NativePathOf(name)).Text();
    if (*size != static_cast<std::uint64_t>(probed.length) || !extraction::ReadCentralDirectory(*file))
        return std::string();
    if (!probed.validator.empty() && folder.FinishedDownload(name) == probed)
        return {};
    if (std::optional<std::string> damage =
            FindArchiveDamage({&folder.Handle(), name, folder.NativePathOf(name)}, nullptr))
        return std::move(*damage);
    return {};
}

enum class DownloadEnd { Done, Failed, Stopped };

// The download's lines, as the normal run prints them: one per whole percent, and one for each
// try again.
class DownloadEvents : public SessionEvents {
public:
    DownloadEvents(StationOutput& out, bool verify) : m_out(out), m_detail(verify) {}
    // On the download thread.
    void Progress(SessionPhase phase, std::uint64_t done, std::uint64_t total) override
    {
        if (phase != SessionPhase::Download)
            return;
        if (const auto percent = DownloadPercent(static_cast<double>(total), static_cast<double>(done))) {
            const int whole = static_cast<int>(*percent);
            const ProgressValue value{ProgressPhase::Download, *percent, 0, 0, done, total};
            m_detail.Line(value, SteadySeconds());
            if (m_shown.exchange(whole) != whole)
                m_out.Line(WithFigures(FormatDownloadStatus(whole), m_detail, value));
        }
    }
    void Retry(int attempt, std::chrono::milliseconds wait) override
    {
        const auto seconds = static_cast<int>(std::chrono::ceil<std::chrono::seconds>(wait).count());
        m_out.Line(platform::Narrow(text::DownloadRetryStatus(attempt, seconds)));
    }
    void Waiting() override { m_out.Line(platform::Narrow(text::kWaitingForServer)); }
    void Restart() { m_shown = -1; }

private:
    StationOutput& m_out;
    std::atomic<int> m_shown{-1};
    ProgressDetail m_detail;
};

// The session's download with "正在下载 0%" before it; a stop signal ends it. Done: the
// archive is whole in the work folder.
DownloadEnd DownloadArchive(InstallSession& session, DownloadEvents& events, StationOutput& out)
{
    out.Line(platform::Narrow(FormatDownloadStartStatus(0)));
    events.Restart();
    std::stop_source stop;
    const std::jthread signalWatch([&stop](std::stop_token own) {
        while (!own.stop_requested()) {
            if (platform::StopRequestedBySignal()) {
                stop.request_stop();
                return;
            }
            PauseUnlessStopped(kSignalCheck, own);
        }
    });
    const SessionOutcome downloaded = session.Download(stop.get_token());
    switch (downloaded.status) {
    case SessionOutcome::Status::Done:
        return DownloadEnd::Done;
    case SessionOutcome::Status::Stopped:
        return DownloadEnd::Stopped;
    default:
        Refuse(InstallFailureText(downloaded.failure));
        return DownloadEnd::Failed;
    }
}

const char* ResultText(StickState state, bool verified)
{
    switch (state) {
    case StickState::Installed:
        return verified ? text::kStationResultInstalled : text::kStationResultInstalledUnverified;
    case StickState::Pulled:
        return text::kStationResultPulled;
    case StickState::Interrupted:
        return text::kStationResultStopped;
    default:
        return text::kStationResultFailed;
    }
}

void PrintSummary(const std::vector<std::unique_ptr<Stick>>& sticks, bool verified, StationOutput& out)
{
    out.Line(text::kStationSummaryHeader);
    for (const auto& stick : sticks) {
        const double seconds = std::chrono::duration<double>(stick->end - stick->start).count();
        const double writeSeconds = std::chrono::duration<double>(stick->writeEnd - stick->start).count();
        const double rate = writeSeconds > 0 ? static_cast<double>(stick->bytesWritten) / 1e6 / writeSeconds : 0.0;
        char line[160];
        std::snprintf(line, sizeof line, "%-6s %s %8.1f %10.1f", platform::Narrow(stick->root).c_str(),
            ResultText(stick->state, verified), seconds, rate);
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

    // Library lines (a transfer's error, an extractor's refusal) go through the same lock as
    // the sticks' lines.
    platform::SetDiagnosticSink([&out](platform::DiagnosticStream stream, std::string_view line) {
        if (stream == platform::DiagnosticStream::Error)
            std::cerr << line << std::endl;
        else
            out.Line(std::string(line));
    });

    // The hard-disk side, as the normal run does it.
    g_downloadDisk = PickDownloadDisk();
    if (!HasRequiredFreeSpace(g_downloadDisk)) {
        Refuse(text::kDiskTooSmall);
        return kExitRefused;
    }
    SelectCloudBaseUrl();
    const auto prepared = PrepareInstallation(g_downloadDisk, [](const std::string& url) -> std::optional<ProbedFile> {
        return ProbeRemoteFile(url, nullptr).value_or(ProbedFile{});
    });
    if (!prepared) {
        if (const wchar_t* refusal = PreparationStopText(prepared.Failure()))
            Refuse(refusal);
        return kExitRefused;
    }
    const std::string& archivePath = prepared->archivePath;
    const RemoteVersion& probed = prepared->probed;
    DownloadEvents downloadEvents(out, options.verify);
    InstallSession session(
        {prepared->url, archivePath, prepared->workFolder, probed, options.verify, kSignalCheck}, downloadEvents);
    if (const SessionOutcome opened = session.OpenWorkFolder(); !opened.Ok()) {
        Refuse(WorkFolderRefusalText(prepared->workFolder, opened.workFolderProblem).c_str());
        return kExitRefused;
    }
    // Every later use of the archive goes through this handle on the work folder.
    const WorkFolder& workFolder = *session.Folder();
    const std::string& archiveName = session.ArchiveName();
    // No sleep, no shutdown from the download's start until the last stick is done.
    platform::SleepInhibitor awake = platform::SleepInhibitor::Take(kProgramName, text::kSleepInhibitReason);

    const auto download = [&]() {
        const DownloadEnd downloaded = DownloadArchive(session, downloadEvents, out);
        if (downloaded == DownloadEnd::Stopped)
            out.Line(text::kStationDownloadStopped);
        return downloaded == DownloadEnd::Done;
    };
    const platform::Result<void, std::string> reusable = ReusableArchive(workFolder, archiveName, probed);
    if (!reusable && !reusable.Failure().empty())
        platform::WriteDiagnosticLine(
            platform::DiagnosticStream::Error, "the archive left by an earlier run is not used: " + reusable.Failure());
    if (reusable) {
        out.Line(text::kStationReusedArchive + archivePath);
    } else {
        if (const SessionOutcome network = session.CheckNetwork({}); !network.Ok()) {
            Refuse(InstallFailureText(InstallFailure::NetworkUnavailable));
            return kExitSomeFailed;
        }
        if (!download())
            return kExitSomeFailed;
    }

    // The sticks: every removable drive present and every one plugged in later.
    std::vector<std::unique_ptr<Stick>> started;
    std::map<std::wstring, Stick*> plugged; // by drive name; null for a stick that was skipped
    std::vector<DriveInfo> drives;
    // An archive found damaged on a stick is downloaded once more; meanwhile no stick starts.
    bool archiveDamaged = false;
    bool downloadedAgain = false;
    bool stopped = false;
    platform::VolumeEvents volumeEvents(platform::VolumeTable::Instance());
    for (bool scan = true;; scan = volumeEvents.Wait(kSignalCheck) || scan) {
        if (platform::StopRequestedBySignal())
            break;
        const auto counted = [](const auto& stick) { return stick->ended.load() && !stick->superseded; };
        const auto finished = std::count_if(started.begin(), started.end(), counted);
        if (options.count && finished >= *options.count)
            break;
        for (const auto& stick : started) {
            if (counted(stick) && stick->state == StickState::Failed &&
                stick->failure == ExtractFailure::ArchiveUnreadable)
                archiveDamaged = true;
        }
        if (archiveDamaged) {
            if (std::any_of(started.begin(), started.end(), [](const auto& stick) { return !stick->ended.load(); }))
                continue; // the sticks at work finish first
            if (downloadedAgain)
                break; // damaged twice: the run ends
            out.Line(text::kStationArchiveDownloadedAgain);
            // The download that follows removes it too, and fails if it still cannot.
            if (const platform::Result<void> removed = workFolder.RemoveArchive(archiveName); !removed)
                platform::WriteDiagnosticLine(platform::DiagnosticStream::Error, removed.Failure().Text());
            if (!download()) {
                stopped = true;
                break;
            }
            downloadedAgain = true;
            archiveDamaged = false;
            // The sticks the damage failed are written again from the new archive.
            for (const auto& stick : started) {
                if (counted(stick) && stick->state == StickState::Failed &&
                    stick->failure == ExtractFailure::ArchiveUnreadable) {
                    stick->thread.join();
                    stick->superseded = true;
                    plugged.erase(stick->root);
                }
            }
            scan = true;
        }
        if (!scan)
            continue;
        scan = false;
        ScanRemovableDrives(g_driveLetters, drives);
        for (auto it = plugged.begin(); it != plugged.end();) {
            const bool present = std::any_of(
                drives.begin(), drives.end(), [&it](const DriveInfo& drive) { return drive.driveName == it->first; });
            if (present) {
                ++it;
                continue;
            }
            if (Stick* stick = it->second; stick && !stick->ended) {
                stick->gone = true;
                stick->stop.request_stop();
            }
            it = plugged.erase(it);
        }
        for (const DriveInfo& drive : drives) {
            if (plugged.contains(drive.driveName))
                continue;
            const std::wstring label = VolumeLabel(drive.driveName);
            if (!HasRequiredFreeSpace(drive)) {
                const std::wstring name = label.empty() ? drive.driveName : drive.driveName + L" " + label;
                out.Line(platform::Narrow(name + L" " + text::kStickTooSmall));
                plugged[drive.driveName] = nullptr;
                continue;
            }
            auto stick = std::make_unique<Stick>(drive, label, volumeEvents);
            Stick& added = *stick;
            started.push_back(std::move(stick));
            plugged[drive.driveName] = &added;
            added.thread =
                std::thread(InstallOntoStick, std::ref(added), std::cref(session), std::cref(options), std::ref(out));
        }
    }

    // Sticks still at work are stopped: the file being written is removed.
    for (const auto& stick : started)
        stick->stop.request_stop();
    for (const auto& stick : started) {
        if (stick->thread.joinable())
            stick->thread.join();
    }
    awake.Release();
    std::erase_if(started, [](const auto& stick) { return stick->superseded; });
    out.EndBlock();
    PrintSummary(started, options.verify, out);
    platform::SetDiagnosticSink({});
    const bool allInstalled = std::all_of(
        started.begin(), started.end(), [](const auto& stick) { return stick->state == StickState::Installed; });
    return allInstalled && !stopped ? kExitAllInstalled : kExitSomeFailed;
}
