#include "app/station/station.h"

#include "app/install_preparation.h"
#include "app/package_key.h"
#include "app/program_directory.h"
#include "app/station/station_stick.h"
#include "drives/drive_info.h"
#include "extraction/archive_check.h"
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
#include "session/work_folder.h"
#include "ui/user_texts.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace {

constexpr int kExitAllInstalled = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitRefused = 2;
// Who holds off sleep, as the system shows it.
constexpr const char* kProgramName = "installer";

// How often the download's end is looked for while it runs.
constexpr std::chrono::milliseconds kDownloadPoll{100};
// Volumes that come and go, sticks that end and a stop signal wake the loop at once; this only
// bounds one wait.
constexpr std::chrono::minutes kLongestWait{10};

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

// The session's download with "正在下载 0%" before it; `stop` (a stop signal) ends it. Done: the
// archive is whole in the work folder.
DownloadEnd DownloadArchive(InstallSession& session, DownloadEvents& events, StationOutput& out, std::stop_token stop)
{
    out.Line(platform::Narrow(FormatDownloadStartStatus(0)));
    events.Restart();
    const SessionOutcome downloaded = session.Download(stop);
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

// While it lives, a stop signal triggers `stop` and wakes `events`. The handler holds its own
// share of both, so a signal taken while this ends finds them still there.
class SignalStops {
public:
    SignalStops(std::stop_source stop, std::shared_ptr<platform::VolumeEvents> events)
    {
        platform::SetStopSignalHandler([stop, events]() mutable {
            stop.request_stop();
            events->Wake();
        });
    }
    ~SignalStops() { platform::SetStopSignalHandler({}); }
    SignalStops(const SignalStops&) = delete;
    SignalStops& operator=(const SignalStops&) = delete;
};

// Library lines (a transfer's error, an extractor's refusal) go through the same lock as the
// sticks' lines while it lives.
class DiagnosticsThrough {
public:
    explicit DiagnosticsThrough(StationOutput& out)
    {
        platform::SetDiagnosticSink([&out](platform::DiagnosticStream stream, std::string_view line) {
            if (stream == platform::DiagnosticStream::Error)
                std::cerr << line << std::endl;
            else
                out.Line(std::string(line));
        });
    }
    ~DiagnosticsThrough() { platform::SetDiagnosticSink({}); }
    DiagnosticsThrough(const DiagnosticsThrough&) = delete;
    DiagnosticsThrough& operator=(const DiagnosticsThrough&) = delete;
};

// The archive in the work folder, then the sticks: every removable drive present and every one
// plugged in later, each written on its own thread, until enough have finished or a stop
// signal ends the run.
class StickLoop {
public:
    StickLoop(InstallSession& session, DownloadEvents& events, const RunOptions& options, StationOutput& out)
        : m_session(session), m_downloadEvents(events), m_options(options), m_out(out),
          m_signalStops(m_stop, m_volumeEvents)
    {
    }
    StickLoop(const StickLoop&) = delete;
    StickLoop& operator=(const StickLoop&) = delete;

    // The archive an earlier run left, when it can be used, else a fresh download. False when
    // there is none to write from.
    bool ArchiveReady(const std::string& archivePath, const RemoteVersion& probed);
    // Starts sticks as they come until the run ends.
    void Run();
    // Sticks still at work are stopped (the file being written is removed) and every thread
    // is joined.
    void StopSticks();
    // The summary; the exit code.
    int Summarize();

private:
    static bool Counted(const std::unique_ptr<Stick>& stick) { return stick->ended.load() && !stick->superseded; }
    static bool FailedOnTheArchive(const std::unique_ptr<Stick>& stick)
    {
        return Counted(stick) && stick->state == StickState::Failed &&
            stick->failure == ExtractFailure::ArchiveUnreadable;
    }
    bool Download();
    bool CountReached() const;
    // An archive found damaged on a stick is downloaded once more, once the sticks at work are
    // done; the sticks it failed are written again from the new one. False when the run ends.
    bool DownloadAgain();
    void Scan();
    void Start(const DriveInfo& drive);

    InstallSession& m_session;
    DownloadEvents& m_downloadEvents;
    const RunOptions& m_options;
    StationOutput& m_out;
    std::stop_source m_stop; // a stop signal
    const std::shared_ptr<platform::VolumeEvents> m_volumeEvents =
        std::make_shared<platform::VolumeEvents>(platform::VolumeTable::Instance());
    const SignalStops m_signalStops;
    std::vector<std::unique_ptr<Stick>> m_started;
    std::map<std::wstring, Stick*> m_plugged; // by drive name; null for a stick that was skipped
    std::vector<DriveInfo> m_drives;
    bool m_downloadedAgain = false;
    bool m_downloadFailed = false;
};

bool StickLoop::Download()
{
    const DownloadEnd downloaded = DownloadArchive(m_session, m_downloadEvents, m_out, m_stop.get_token());
    if (downloaded == DownloadEnd::Stopped)
        m_out.Line(text::kStationDownloadStopped);
    return downloaded == DownloadEnd::Done;
}

bool StickLoop::ArchiveReady(const std::string& archivePath, const RemoteVersion& probed)
{
    const platform::Result<void, std::string> reusable =
        ReusableArchive(*m_session.Folder(), m_session.ArchiveName(), probed);
    if (!reusable && !reusable.Failure().empty())
        platform::WriteDiagnosticLine(
            platform::DiagnosticStream::Error, "the archive left by an earlier run is not used: " + reusable.Failure());
    if (reusable) {
        m_out.Line(text::kStationReusedArchive + archivePath);
        return true;
    }
    if (const SessionOutcome network = m_session.CheckNetwork(m_stop.get_token()); !network.Ok()) {
        Refuse(InstallFailureText(InstallFailure::NetworkUnavailable));
        return false;
    }
    return Download();
}

bool StickLoop::CountReached() const
{
    return m_options.stickCount && std::count_if(m_started.begin(), m_started.end(), Counted) >= *m_options.stickCount;
}

void StickLoop::Run()
{
    for (bool scan = true;; scan = m_volumeEvents->Wait(kLongestWait) || scan) {
        if (m_stop.stop_requested() || CountReached())
            return;
        if (std::any_of(m_started.begin(), m_started.end(), FailedOnTheArchive)) {
            if (std::any_of(m_started.begin(), m_started.end(), [](const auto& stick) { return !stick->ended.load(); }))
                continue; // the sticks at work finish first
            if (!DownloadAgain())
                return;
            scan = true;
        }
        if (scan) {
            scan = false;
            Scan();
        }
    }
}

bool StickLoop::DownloadAgain()
{
    if (m_downloadedAgain)
        return false; // damaged twice: the run ends
    m_out.Line(text::kStationArchiveDownloadedAgain);
    // The download that follows removes it too, and fails if it still cannot.
    if (const platform::Result<void> removed = m_session.Folder()->RemoveArchive(m_session.ArchiveName()); !removed)
        platform::WriteDiagnosticLine(platform::DiagnosticStream::Error, removed.Failure().Text());
    if (!Download()) {
        m_downloadFailed = true;
        return false;
    }
    m_downloadedAgain = true;
    for (const auto& stick : m_started) {
        if (FailedOnTheArchive(stick)) {
            stick->thread.join();
            stick->superseded = true;
            m_plugged.erase(stick->root);
        }
    }
    return true;
}

void StickLoop::Scan()
{
    ScanRemovableDrives(g_driveLetters, m_drives);
    for (auto it = m_plugged.begin(); it != m_plugged.end();) {
        const bool present = std::any_of(
            m_drives.begin(), m_drives.end(), [&it](const DriveInfo& drive) { return drive.driveName == it->first; });
        if (present) {
            ++it;
            continue;
        }
        if (Stick* stick = it->second; stick && !stick->ended) {
            stick->gone = true;
            stick->thread.request_stop();
        }
        it = m_plugged.erase(it);
    }
    for (const DriveInfo& drive : m_drives) {
        if (!m_plugged.contains(drive.driveName))
            Start(drive);
    }
}

void StickLoop::Start(const DriveInfo& drive)
{
    const std::wstring label = VolumeLabel(drive.driveName);
    if (!HasRequiredFreeSpace(drive)) {
        const std::wstring name = label.empty() ? drive.driveName : drive.driveName + L" " + label;
        m_out.Line(platform::Narrow(name + L" " + text::kStickTooSmall));
        m_plugged[drive.driveName] = nullptr;
        return;
    }
    Stick& added = *m_started.emplace_back(std::make_unique<Stick>(drive, label, *m_volumeEvents));
    m_plugged[drive.driveName] = &added;
    added.thread =
        std::jthread(InstallOntoStick, std::ref(added), std::cref(m_session), std::cref(m_options), std::ref(m_out));
}

void StickLoop::StopSticks()
{
    for (const auto& stick : m_started)
        stick->thread.request_stop();
    for (const auto& stick : m_started) {
        if (stick->thread.joinable())
            stick->thread.join();
    }
}

int StickLoop::Summarize()
{
    std::erase_if(m_started, [](const auto& stick) { return stick->superseded; });
    m_out.EndBlock();
    PrintSummary(m_started, m_options.verify, m_out);
    const bool allInstalled = std::all_of(
        m_started.begin(), m_started.end(), [](const auto& stick) { return stick->state == StickState::Installed; });
    return allInstalled && !m_downloadFailed ? kExitAllInstalled : kExitSomeFailed;
}

} // namespace

int RunStation(const RunOptions& options)
{
    const platform::StopSignalCatcher stopSignals;
    StationOutput out(platform::StandardOutputIsTerminal());
    const DiagnosticsThrough diagnostics(out);

    // The hard-disk side, as the normal run does it.
    g_downloadDisk = PickDownloadDisk();
    if (!HasRequiredFreeSpace(g_downloadDisk)) {
        Refuse(text::kDiskTooSmall);
        return kExitRefused;
    }
    SelectCloudBaseUrl();
    const auto prepared = PrepareInstallation(packageKey, g_downloadDisk, [&options](const std::string& url) {
        return std::optional(ProbeRemoteFile(url, nullptr, options.proxy).value_or(ProbedFile{}));
    });
    if (!prepared) {
        if (const wchar_t* refusal = PreparationStopText(prepared.Failure()))
            Refuse(refusal);
        return kExitRefused;
    }
    packageFileName = prepared->fileName;
    DownloadEvents downloadEvents(out, options.verify);
    InstallSession session(
        {prepared->url, prepared->archivePath, prepared->workFolder, prepared->probed, kDownloadPoll}, options,
        downloadEvents);
    if (const SessionOutcome opened = session.OpenWorkFolder(); !opened.Ok()) {
        Refuse(WorkFolderRefusalText(prepared->workFolder, opened.workFolderProblem).c_str());
        return kExitRefused;
    }
    // No sleep, no shutdown from the download's start until the last stick is done.
    platform::SleepInhibitor awake = platform::SleepInhibitor::Take(kProgramName, text::kSleepInhibitReason);
    StickLoop sticks(session, downloadEvents, options, out);
    if (!sticks.ArchiveReady(prepared->archivePath, prepared->probed))
        return kExitSomeFailed;
    sticks.Run();
    sticks.StopSticks();
    awake.Release();
    return sticks.Summarize();
}
