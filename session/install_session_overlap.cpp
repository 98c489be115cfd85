// The installation that writes the stick while the package downloads: the archive's tail is
// fetched first and planned, then the stick is written from the growing part as its bytes come
// in.
#include "session/install_session.h"

#include "extraction/zip_plan.h"
#include "net/range_request.h"
#include "platform/diagnostics.h"
#include "session/growing_archive.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

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

} // namespace

// One overlapped installation's download and the archive growing from it.
struct InstallSession::Overlap {
    Overlap(platform::ReadableFile part, const RemoteVersion& probed, std::vector<unsigned char> tail,
        const std::string& url, PartialDownload partial)
        : growing(std::move(part), static_cast<std::uint64_t>(probed.length), std::move(tail),
              partial.version == probed ? partial.offset : 0),
          downloader(url, std::move(partial.file)), bodyVersion(probed)
    {
        downloader.SetResume(partial.offset, partial.version);
    }

    // The version the body turned out to be (download thread, read once it has ended).
    RemoteVersion BodyVersion()
    {
        const std::lock_guard lock(versionMutex);
        return bodyVersion;
    }

    GrowingArchive growing;
    FileDownloader downloader;
    std::mutex versionMutex;
    RemoteVersion bodyVersion;
    std::atomic<bool> downloadEnded{false};
    // The writing failed on its own side and ended the download.
    std::atomic<bool> writerFailedFirst{false};
};

std::optional<StickOutcome> InstallSession::InstallOverlapped(const std::wstring& stickRoot, std::stop_token stop)
{
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
        return AsStickOutcome(SessionOutcome::Failure(InstallFailure::DownloadSave));
    }
    const std::string partName = m_archiveName + ".part";
    platform::Result<platform::ReadableFile> part = folder.Handle().OpenFile(partName);
    if (!part) {
        platform::WriteDiagnosticLine(
            "cannot read " + folder.NativePathOf(partName) + ": " + std::to_string(part.Failure().code));
        return AsStickOutcome(SessionOutcome::Failure(InstallFailure::DownloadSave));
    }
    Overlap overlap(
        std::move(part).Value(), probed, std::move(tail->bytes), m_request.downloadUrl, std::move(partial).Value());
    ConnectDownloader(overlap);
    const std::stop_callback stopBoth(stop, [&overlap] {
        overlap.downloader.Cancel();
        overlap.growing.Stop();
    });
    ExtractionResult written = WriteWhileDownloading(overlap, tail->plan, stickRoot, cancel, stop);
    return EndOverlap(overlap, std::move(written), stickRoot, stop);
}

void InstallSession::ConnectDownloader(Overlap& overlap)
{
    FileDownloader& downloader = overlap.downloader;
    downloader.SetProxy(m_options.proxy);
    downloader.SetProgressCallback([this, &overlap](double total, double received) {
        if (!overlap.downloadEnded.load(std::memory_order_relaxed))
            m_events.Progress(SessionPhase::Download, static_cast<std::uint64_t>(received),
                total > 0 ? static_cast<std::uint64_t>(total) : 0);
        return 0;
    });
    downloader.SetVersionCallback([this, &overlap](const RemoteVersion& version) {
        {
            const std::lock_guard lock(overlap.versionMutex);
            overlap.bodyVersion = version;
        }
        if (const auto recorded = m_workFolder->RecordPartialDownload(m_archiveName, version); !recorded)
            platform::WriteDiagnosticLine(recorded.Failure().Text());
    });
    downloader.SetRetryCallback([this](int attempt, std::chrono::milliseconds wait) { m_events.Retry(attempt, wait); });
    downloader.SetWaitingCallback([this] { m_events.Waiting(); });
    downloader.SetExtentCallback([&overlap](std::uint64_t bytes) { overlap.growing.Grew(bytes); });
}

ExtractionResult InstallSession::WriteWhileDownloading(Overlap& overlap, const extraction::ArchivePlan& plan,
    const std::wstring& stickRoot, const std::atomic<bool>& cancel, std::stop_token stop)
{
    FileDownloader& downloader = overlap.downloader;
    GrowingArchive& growing = overlap.growing;
    // The writing's progress is told once the download is over, from its true value on: one
    // bar shows one phase at a time.
    std::atomic<std::uint64_t> writtenSoFar{0};
    std::atomic<std::uint64_t> writeTotal{0};
    ExtractionResult written;
    downloader.Start();
    {
        const std::jthread writer([&] {
            const extraction::ArchiveByteSource source = [&growing](
                                                             void* buffer, std::size_t size, std::uint64_t offset) {
                return growing.Read(buffer, size, offset);
            };
            written = ExtractPlannedArchive(
                plan, source, m_workFolder->NativePathOf(m_archiveName), stickRoot,
                [&](std::uint64_t processed, std::uint64_t total) {
                    writtenSoFar.store(processed, std::memory_order_relaxed);
                    writeTotal.store(total, std::memory_order_relaxed);
                    if (overlap.downloadEnded.load(std::memory_order_acquire))
                        m_events.Progress(SessionPhase::Write, processed, total);
                },
                &cancel);
            // A failure on this side ends the download too; a download that started again only
            // ends this writing.
            if (!written.Ok() && !growing.StartedAgain() && !downloader.IsFailed()) {
                overlap.writerFailedFirst.store(true, std::memory_order_release);
                downloader.Cancel();
            }
        });
        // A stop has cancelled the download, which then ends as failed within about a second: the
        // poll goes on at its pace meanwhile instead of spinning.
        while (!downloader.IsFinished() && !downloader.IsFailed()) {
            if (!PauseUnlessStopped(m_request.downloadPoll, stop))
                std::this_thread::sleep_for(m_request.downloadPoll);
        }
        growing.Ended(downloader.IsFinished());
        overlap.downloadEnded.store(true, std::memory_order_release);
        if (downloader.IsFinished())
            m_events.Progress(SessionPhase::Write, writtenSoFar.load(), writeTotal.load());
    } // the writer has ended: what it wrote is known
    return written;
}

StickOutcome InstallSession::EndOverlap(
    Overlap& overlap, ExtractionResult written, const std::wstring& stickRoot, std::stop_token stop)
{
    const RemoteVersion& probed = m_request.probed;
    if (stop.stop_requested())
        return AsStickOutcome(SessionOutcome::Stopped());
    if (overlap.writerFailedFirst.load(std::memory_order_acquire))
        return ReadBack(std::move(written), stop, m_events);
    if (overlap.downloader.IsFailed())
        return AsStickOutcome(DownloadFailed(overlap.downloader.Failure(), stop));

    // The body must be the version the plan was made from, ending in the very tail fetched.
    const RemoteVersion finalVersion = overlap.BodyVersion();
    if (finalVersion.validator != probed.validator || finalVersion.length != probed.length ||
        !overlap.growing.TailMatchesFile()) {
        platform::WriteDiagnosticLine("the package changed on the server while it was downloaded");
        m_workFolder->RemovePartialDownload(m_archiveName);
        return AsStickOutcome(SessionOutcome::Failure(InstallFailure::PackageChanged));
    }
    if (const auto finished = m_workFolder->FinishDownload(m_archiveName); !finished) {
        platform::WriteDiagnosticLine(finished.Failure().Text());
        return AsStickOutcome(SessionOutcome::Failure(InstallFailure::DownloadSave));
    }
    if (overlap.growing.StartedAgain()) {
        // The writing stopped where the download started again; the whole archive is now
        // there, and is written as a downloaded one always is.
        platform::WriteDiagnosticLine("the download started again: the stick is written from the whole archive");
        return WriteStick(stickRoot, stop);
    }
    return ReadBack(std::move(written), stop, m_events);
}
