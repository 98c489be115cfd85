#include "session/install_session.h"

#include "extraction/read_back.h"
#include "extraction/zip_plan.h"
#include "net/http_request.h"
#include "net/range_request.h"
#include "platform/diagnostics.h"
#include "platform/elevation.h"
#include "session/growing_archive.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

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

namespace {

// The archive's tail asked for first: enough for the end record and most central
// directories; a directory that begins earlier is asked for once more, up to the cap.
constexpr std::uint64_t kFirstTailBytes = 1u << 20;
constexpr std::uint64_t kTailCap = 16u << 20;

// The archive's plan and the tail it was made from.
struct PlannedTail {
    extraction::ArchivePlan plan;
    std::vector<unsigned char> bytes;
};

// Fetches the tail of the probed version and makes the plan from it; nullopt when the server
// does not answer with that part of that version, the directory is over the cap, or no plan
// can be made from it (the download then runs whole, and the extraction judges the archive as
// it always has).
std::optional<PlannedTail> FetchPlannedTail(const std::string& url, const RemoteVersion& probed,
    const net::ProxySetting& proxy, const std::atomic<bool>& cancel, const std::function<void()>& waiting)
{
    const auto length = static_cast<std::uint64_t>(probed.length);
    std::uint64_t from = length - std::min(length, kFirstTailBytes);
    for (int asked = 0; asked < 2; ++asked) {
        RangeAnswer answer = FetchRange(url, from, length - 1, probed, proxy, &cancel, waiting);
        if (answer.kind != RangeAnswer::Kind::Range)
            return std::nullopt;
        if (answer.wholeDigest) {
            // A file the server vouches for with a digest is used only once checked whole.
            platform::WriteDiagnosticLine("the storage sends a digest of the package: it is written once checked");
            return std::nullopt;
        }
        const extraction::PlanOutcome outcome = extraction::BuildArchivePlan(answer.bytes, length);
        if (outcome.plan)
            return PlannedTail{*outcome.plan, std::move(answer.bytes)};
        if (!outcome.needFrom || *outcome.needFrom >= from || length - *outcome.needFrom > kTailCap)
            return std::nullopt;
        from = *outcome.needFrom;
    }
    return std::nullopt;
}

StickOutcome AsStickOutcome(SessionOutcome outcome)
{
    StickOutcome stick;
    static_cast<SessionOutcome&>(stick) = std::move(outcome);
    return stick;
}

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

std::optional<StickOutcome> InstallSession::InstallOverlapped(const std::wstring& stickRoot, std::stop_token stop)
{
    const auto asStick = AsStickOutcome;
    const RemoteVersion& probed = m_request.probed;
    if (SerialInstallForced() || probed.validator.empty() || probed.length <= 0)
        return std::nullopt;
    std::atomic<bool> cancel{false};
    const std::stop_callback cancelOnStop(stop, [&cancel] { cancel.store(true, std::memory_order_relaxed); });
    std::optional<PlannedTail> tail =
        FetchPlannedTail(m_request.downloadUrl, probed, m_options.proxy, cancel, [this] { m_events.Waiting(); });
    if (!tail)
        return std::nullopt;

    const WorkFolder& folder = *m_workFolder;
    auto partial = folder.OpenPartialDownload(m_archiveName, probed);
    if (!partial) {
        platform::WriteDiagnosticLine(partial.Failure().Text());
        return asStick(SessionOutcome::Failure(InstallFailure::DownloadSave));
    }
    const std::string partName = m_archiveName + ".part";
    platform::Result<platform::ReadableFile> part = folder.Handle().OpenFile(partName);
    if (!part) {
        platform::WriteDiagnosticLine(
            "cannot read " + folder.NativePathOf(partName) + ": " + std::to_string(part.Failure().code));
        return asStick(SessionOutcome::Failure(InstallFailure::DownloadSave));
    }
    GrowingArchive growing(std::move(part).Value(), static_cast<std::uint64_t>(probed.length), std::move(tail->bytes),
        partial->version == probed ? partial->offset : 0);

    // The version the body turned out to be (download thread, read once it has ended).
    std::mutex versionMutex;
    RemoteVersion bodyVersion = probed;
    FileDownloader downloader(m_request.downloadUrl, std::move(partial->file));
    downloader.SetProxy(m_options.proxy);
    downloader.SetResume(partial->offset, partial->version);
    std::atomic<bool> downloadEnded{false};
    downloader.SetProgressCallback([this, &downloadEnded](double total, double received) {
        if (!downloadEnded.load(std::memory_order_relaxed))
            m_events.Progress(SessionPhase::Download, static_cast<std::uint64_t>(received),
                total > 0 ? static_cast<std::uint64_t>(total) : 0);
        return 0;
    });
    downloader.SetVersionCallback([this, &folder, &versionMutex, &bodyVersion](const RemoteVersion& version) {
        {
            const std::lock_guard lock(versionMutex);
            bodyVersion = version;
        }
        if (const auto recorded = folder.RecordPartialDownload(m_archiveName, version); !recorded)
            platform::WriteDiagnosticLine(recorded.Failure().Text());
    });
    downloader.SetRetryCallback([this](int attempt, std::chrono::milliseconds wait) { m_events.Retry(attempt, wait); });
    downloader.SetWaitingCallback([this] { m_events.Waiting(); });
    downloader.SetExtentCallback([&growing](std::uint64_t bytes) { growing.Grew(bytes); });
    const std::stop_callback stopBoth(stop, [&downloader, &growing] {
        downloader.Cancel();
        growing.Stop();
    });

    // The writing's progress is told once the download is over, from its true value on: one
    // bar shows one phase at a time.
    std::atomic<std::uint64_t> writtenSoFar{0};
    std::atomic<std::uint64_t> writeTotal{0};
    std::atomic<bool> writerFailedFirst{false};
    ExtractionResult written;
    downloader.Start();
    {
        const std::jthread writer([&] {
            const extraction::ArchiveByteSource source = [&growing](
                                                             void* buffer, std::size_t size, std::uint64_t offset) {
                return growing.Read(buffer, size, offset);
            };
            written = ExtractPlannedArchive(
                tail->plan, source, folder.NativePathOf(m_archiveName), stickRoot,
                [&](std::uint64_t processed, std::uint64_t total) {
                    writtenSoFar.store(processed, std::memory_order_relaxed);
                    writeTotal.store(total, std::memory_order_relaxed);
                    if (downloadEnded.load(std::memory_order_acquire))
                        m_events.Progress(SessionPhase::Write, processed, total);
                },
                &cancel);
            // A failure on this side ends the download too; a download that started again only
            // ends this writing.
            if (!written.Ok() && !growing.StartedAgain() && !downloader.IsFailed()) {
                writerFailedFirst.store(true, std::memory_order_release);
                downloader.Cancel();
            }
        });
        // A stop has cancelled the download, which then ends as failed within about a second:
        // the poll goes on at its pace meanwhile instead of spinning.
        while (!downloader.IsFinished() && !downloader.IsFailed()) {
            if (!PauseUnlessStopped(m_request.downloadPoll, stop))
                std::this_thread::sleep_for(m_request.downloadPoll);
        }
        growing.Ended(downloader.IsFinished());
        downloadEnded.store(true, std::memory_order_release);
        if (downloader.IsFinished())
            m_events.Progress(SessionPhase::Write, writtenSoFar.load(), writeTotal.load());
    }

    if (stop.stop_requested())
        return asStick(SessionOutcome::Stopped());
    if (writerFailedFirst.load(std::memory_order_acquire))
        return ReadBack(std::move(written), stop, m_events);
    if (downloader.IsFailed())
        return asStick(DownloadFailed(downloader.Failure(), stop));

    // The body must be the version the plan was made from, ending in the very tail fetched.
    RemoteVersion finalVersion;
    {
        const std::lock_guard lock(versionMutex);
        finalVersion = bodyVersion;
    }
    if (finalVersion.validator != probed.validator || finalVersion.length != probed.length ||
        !growing.TailMatchesFile()) {
        platform::WriteDiagnosticLine("the package changed on the server while it was downloaded");
        folder.RemovePartialDownload(m_archiveName);
        return asStick(SessionOutcome::Failure(InstallFailure::PackageChanged));
    }
    if (const auto finished = folder.FinishDownload(m_archiveName); !finished) {
        platform::WriteDiagnosticLine(finished.Failure().Text());
        return asStick(SessionOutcome::Failure(InstallFailure::DownloadSave));
    }
    if (growing.StartedAgain()) {
        // The writing stopped where the download started again; the whole archive is now
        // there, and is written as a downloaded one always is.
        platform::WriteDiagnosticLine("the download started again: the stick is written from the whole archive");
        return WriteStick(stickRoot, stop);
    }
    return ReadBack(std::move(written), stop, m_events);
}
