#include "session/install_session.h"

#include "extraction/read_back.h"
#include "net/http_request.h"
#include "platform/diagnostics.h"
#include "platform/elevation.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string_view>
#include <utility>

bool PauseUnlessStopped(std::chrono::milliseconds duration, std::stop_token stop)
{
    std::mutex mutex;
    std::condition_variable_any stopped;
    std::unique_lock lock(mutex);
    return !stopped.wait_for(lock, stop, duration, [] { return false; }) && !stop.stop_requested();
}

bool SerialInstallForced()
{
    const char* value = platform::SettingFromEnvironment("INSTALLER_SERIAL_INSTALL");
    return value != nullptr && std::string_view(value) == "1";
}

StickOutcome AsStickOutcome(SessionOutcome outcome)
{
    StickOutcome stick;
    static_cast<SessionOutcome&>(stick) = std::move(outcome);
    return stick;
}

namespace {

// The user's side of an extraction that did not succeed.
SessionOutcome OutcomeOf(const ExtractionResult& result, const std::stop_token& stop)
{
    SessionOutcome outcome;
    outcome.extractFailure = result.failure;
    outcome.detail = result.error;
    if (stop.stop_requested() || result.failure == ExtractFailure::Cancelled)
        outcome.status = SessionOutcome::Status::Stopped;
    else if (result.failure == ExtractFailure::StickPulled)
        outcome.status = SessionOutcome::Status::StickPulled;
    else {
        outcome.status = SessionOutcome::Status::Failed;
        outcome.failure = FailureOf(result.failure);
    }
    return outcome;
}

SessionOutcome OutcomeOf(const platform::Result<void, ReadBackFailure>& readBack, const std::stop_token& stop)
{
    SessionOutcome outcome;
    if (readBack)
        return outcome;
    outcome.detail = readBack.Failure().diagnostic;
    switch (readBack.Failure().side) {
    case ReadBackFailure::Side::Stopped:
        outcome.status = SessionOutcome::Status::Stopped;
        break;
    case ReadBackFailure::Side::StickGone:
        outcome.status = SessionOutcome::Status::StickPulled;
        break;
    case ReadBackFailure::Side::Differs:
        outcome.status = stop.stop_requested() ? SessionOutcome::Status::Stopped : SessionOutcome::Status::Failed;
        outcome.failure = InstallFailure::Verification;
        break;
    }
    return outcome;
}

} // namespace

InstallSession::InstallSession(SessionRequest request, RunOptions options, SessionEvents& events)
    : m_request(std::move(request)), m_options(std::move(options)), m_events(events)
{
}

SessionOutcome InstallSession::CheckNetwork(std::stop_token stop) const
{
    if (ProbeServer(m_options.proxy) == 0)
        return {};
    if (stop.stop_requested())
        return SessionOutcome::Stopped();
    return IsInternetConnected() ? SessionOutcome{} : SessionOutcome::Failure(InstallFailure::NetworkUnavailable);
}

SessionOutcome InstallSession::OpenWorkFolder()
{
    const std::optional<std::string> name = NameInFolder(m_request.workFolder, m_request.archivePath);
    if (!name) {
        platform::WriteDiagnosticLine("the archive " + m_request.archivePath + " is not in the work folder");
        return SessionOutcome::Failure(InstallFailure::WorkFolder);
    }
    auto folder = MakeWorkFolder(m_request.workFolder);
    if (!folder) {
        platform::WriteDiagnosticLine(folder.Failure().error.Text());
        SessionOutcome outcome = SessionOutcome::Failure(InstallFailure::WorkFolder);
        outcome.workFolderProblem = folder.Failure().problem;
        if (outcome.workFolderProblem != WorkFolderProblem::None)
            outcome.failure = InstallFailure::WorkFolderUnsafe;
        return outcome;
    }
    m_workFolder.emplace(std::move(*folder));
    m_archiveName = *name;
    return {};
}

ArchiveInFolder InstallSession::Archive() const
{
    return {&m_workFolder->Handle(), m_archiveName, m_workFolder->NativePathOf(m_archiveName)};
}

SessionOutcome InstallSession::Download(std::stop_token stop)
{
    const WorkFolder& folder = *m_workFolder;
    auto partial = folder.OpenPartialDownload(m_archiveName, m_request.probed);
    if (!partial) {
        platform::WriteDiagnosticLine(partial.Failure().Text());
        return SessionOutcome::Failure(InstallFailure::DownloadSave);
    }
    FileDownloader downloader(m_request.downloadUrl, std::move(partial->file));
    downloader.SetProxy(m_options.proxy);
    downloader.SetResume(partial->offset, partial->version);
    downloader.SetProgressCallback([this](double total, double received) {
        m_events.Progress(SessionPhase::Download, static_cast<std::uint64_t>(received),
            total > 0 ? static_cast<std::uint64_t>(total) : 0);
        return 0;
    });
    downloader.SetVersionCallback([this, &folder](const RemoteVersion& version) {
        if (const auto recorded = folder.RecordPartialDownload(m_archiveName, version); !recorded)
            platform::WriteDiagnosticLine(recorded.Failure().Text());
    });
    downloader.SetRetryCallback([this](int attempt, std::chrono::milliseconds wait) { m_events.Retry(attempt, wait); });
    downloader.SetWaitingCallback([this] { m_events.Waiting(); });
    const std::stop_callback cancelOnStop(stop, [&downloader] { downloader.Cancel(); });
    downloader.Start();
    while (!downloader.IsFinished()) {
        if (downloader.IsFailed())
            return DownloadFailed(downloader.Failure(), stop);
        if (!PauseUnlessStopped(m_request.downloadPoll, stop))
            return SessionOutcome::Stopped();
    }
    if (const auto finished = folder.FinishDownload(m_archiveName); !finished) {
        platform::WriteDiagnosticLine(finished.Failure().Text());
        return SessionOutcome::Failure(InstallFailure::DownloadSave);
    }
    return {};
}

SessionOutcome InstallSession::DownloadFailed(DownloadFailure failure, const std::stop_token& stop) const
{
    if (stop.stop_requested())
        return SessionOutcome::Stopped(); // the part stays for the next run
    // A part cut by the network stays for the next run; one the disk refused is of no use, and
    // a disk that cannot hold the archive is not the network's fault.
    if (PartIsUseless(failure))
        m_workFolder->RemovePartialDownload(m_archiveName);
    return SessionOutcome::Failure(FailureOf(failure));
}

StickOutcome InstallSession::WriteStick(
    const std::wstring& stickRoot, std::stop_token stop, SessionEvents& events) const
{
    PackageExtraction extraction(Archive(), stickRoot);
    const std::stop_callback cancelOnStop(stop, [&extraction] { extraction.Cancel(); });
    return ReadBack(extraction.Run([&events](std::uint64_t processed, std::uint64_t total) {
        events.Progress(SessionPhase::Write, processed, total);
    }),
        stop, events);
}

StickOutcome InstallSession::ReadBack(
    ExtractionResult written, const std::stop_token& stop, SessionEvents& events) const
{
    StickOutcome outcome;
    outcome.writeEnd = std::chrono::steady_clock::now();
    for (const WrittenFile& file : written.writtenFiles)
        outcome.bytesWritten += file.size;
    if (!written.Ok()) {
        static_cast<SessionOutcome&>(outcome) = OutcomeOf(written, stop);
        return outcome;
    }
    if (!m_options.verify)
        return outcome;
    std::atomic<bool> cancel{stop.stop_requested()};
    const std::stop_callback cancelOnStop(stop, [&cancel] { cancel.store(true, std::memory_order_relaxed); });
    const platform::Result<void, ReadBackFailure> readBack = VerifyWrittenFiles(
        *written.stickRoot, written.writtenFiles,
        [&events](std::uint64_t done, std::uint64_t total) { events.Progress(SessionPhase::Verify, done, total); },
        &cancel);
    static_cast<SessionOutcome&>(outcome) = OutcomeOf(readBack, stop);
    return outcome;
}

StickOutcome InstallSession::Install(const std::wstring& stickRoot, std::stop_token stop)
{
    if (SessionOutcome network = CheckNetwork(stop); !network.Ok())
        return AsStickOutcome(std::move(network));
    if (stop.stop_requested())
        return AsStickOutcome(SessionOutcome::Stopped());
    if (SessionOutcome opened = OpenWorkFolder(); !opened.Ok())
        return AsStickOutcome(std::move(opened));
    return DownloadAndWrite(stickRoot, stop);
}

StickOutcome InstallSession::DownloadAndWrite(const std::wstring& stickRoot, std::stop_token stop)
{
    if (std::optional<StickOutcome> overlapped = InstallOverlapped(stickRoot, stop))
        return std::move(*overlapped);
    if (stop.stop_requested())
        return AsStickOutcome(SessionOutcome::Stopped());
    if (SessionOutcome downloaded = Download(stop); !downloaded.Ok())
        return AsStickOutcome(std::move(downloaded));
    if (stop.stop_requested())
        return AsStickOutcome(SessionOutcome::Stopped());
    return WriteStick(stickRoot, stop);
}
