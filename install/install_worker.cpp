#include "install/install_worker.h"

#include "install/download_progress.h"
#include "install/extract_progress.h"
#include "install/package_extractor.h"
#include "install/read_back.h"
#include "install/work_folder.h"
#include "install/worker_messages.h"
#include "net/file_downloader.h"
#include "net/http_request.h"
#include "platform/diagnostics.h"
#include "platform/sleep_inhibitor.h"
#include "platform/win32.h"
#include "ui/user_texts.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kStartPause{1000};
// Who holds off sleep, as the system shows it.
constexpr const char* kProgramName = "installer";
constexpr milliseconds kDownloadPollInterval{200};

constexpr DWORD kCompleted = 0;
constexpr DWORD kEndedEarly = static_cast<DWORD>(-1);

enum class StepResult { Done, Failed, Stopped };

// Every worker started, so that the program can stop them and wait for them before it ends.
struct WorkerRegistry {
    std::mutex mutex;
    std::vector<std::shared_ptr<InstallJob>> jobs;
};

WorkerRegistry& Registry()
{
    static WorkerRegistry registry;
    return registry;
}

std::vector<std::shared_ptr<InstallJob>> StopAll()
{
    WorkerRegistry& registry = Registry();
    std::vector<std::shared_ptr<InstallJob>> jobs;
    {
        const std::lock_guard lock(registry.mutex);
        jobs = registry.jobs;
    }
    for (const auto& job : jobs)
        job->RequestStop();
    return jobs;
}

void ForgetEnded()
{
    WorkerRegistry& registry = Registry();
    const std::lock_guard lock(registry.mutex);
    std::erase_if(registry.jobs, [](const std::shared_ptr<InstallJob>& job) { return job->Ended(); });
}

// One installation, start to end, on the worker's thread.
class InstallRun {
public:
    InstallRun(InstallRequest request, std::shared_ptr<InstallJob> job)
        : m_request(std::move(request)), m_job(std::move(job))
    {
    }

    DWORD Run();
    std::shared_ptr<InstallJob> SharedJob() const { return m_job; }

private:
    StepResult CheckNetwork();
    DWORD OpenWorkFolder();
    StepResult Download(DownloadFailure& failure);
    ExtractFailure Extract();
    ReadBackOutcome Verify();
    // `detail`: the WorkFolderProblem of WorkFolderUnsafe.
    DWORD Fail(InstallFailure failure, LPARAM detail = 0);
    DWORD StickPulled();

    const InstallRequest m_request;
    const std::shared_ptr<InstallJob> m_job;
    // The work folder, opened once; the archive is made, read and removed through it.
    std::optional<WorkFolder> m_workFolder;
    std::string m_archiveName;
    // The files written, and the handle on the stick's root they were written through.
    ExtractionResult m_extraction;
};

// Reachable when the probe server answers or, failing that, the system says it is online.
StepResult InstallRun::CheckNetwork()
{
    if (ProbeServer() == 0)
        return StepResult::Done;
    if (m_job->StopRequested())
        return StepResult::Stopped;
    return IsInternetConnected() ? StepResult::Done : StepResult::Failed;
}

// Opens (or makes) the work folder and takes it only when it is safe; kCompleted then, or the
// failure told.
DWORD InstallRun::OpenWorkFolder()
{
    const std::optional<std::string> name = NameInFolder(m_request.workFolder, m_request.archivePath);
    if (!name) {
        platform::WriteDiagnosticLine("the archive " + m_request.archivePath + " is not in the work folder");
        return Fail(InstallFailure::WorkFolder);
    }
    auto folder = MakeWorkFolder(m_request.workFolder);
    if (!folder) {
        platform::WriteDiagnosticLine(folder.Failure().error.Text());
        const WorkFolderProblem problem = folder.Failure().problem;
        if (problem == WorkFolderProblem::None)
            return Fail(InstallFailure::WorkFolder);
        return Fail(InstallFailure::WorkFolderUnsafe, static_cast<LPARAM>(problem));
    }
    m_workFolder.emplace(std::move(*folder));
    m_archiveName = *name;
    return kCompleted;
}

// Runs the transfer to its end into "NAME.part" (going on with one an earlier run left for
// the same version of the package), which becomes the archive once whole; the downloader is
// gone (its thread ended, the file closed) when this returns. A failure says which side
// failed.
StepResult InstallRun::Download(DownloadFailure& failure)
{
    auto partial = m_workFolder->OpenPartialDownload(m_archiveName, m_request.probed);
    if (!partial) {
        platform::WriteDiagnosticLine(partial.Failure().Text());
        failure = DownloadFailure::LocalFile;
        return StepResult::Failed;
    }
    FileDownloader downloader(m_request.downloadUrl, std::move(partial->file));
    downloader.SetResume(partial->offset, partial->version);
    std::atomic<double> lastPercent{0.0};
    downloader.SetProgressCallback([this, &lastPercent](double total, double received) {
        if (const auto percent = DownloadPercent(total, received)) {
            lastPercent.store(*percent, std::memory_order_relaxed);
            m_job->PublishProgress({ProgressPhase::Download, *percent, 0, 0, static_cast<std::uint64_t>(received),
                static_cast<std::uint64_t>(total)});
        }
        return 0;
    });
    downloader.SetVersionCallback([this](const RemoteVersion& version) {
        if (const auto recorded = m_workFolder->RecordPartialDownload(m_archiveName, version); !recorded)
            platform::WriteDiagnosticLine(recorded.Failure().Text());
    });
    downloader.SetRetryCallback([this, &lastPercent](int attempt, milliseconds wait) {
        const int seconds = static_cast<int>(std::chrono::ceil<std::chrono::seconds>(wait).count());
        m_job->PublishProgress({ProgressPhase::Retry, lastPercent.load(std::memory_order_relaxed), attempt, seconds});
    });
    downloader.Start();
    while (!downloader.IsFinished()) {
        if (downloader.IsFailed()) {
            failure = downloader.Failure();
            return StepResult::Failed;
        }
        if (!m_job->Pause(kDownloadPollInterval))
            return StepResult::Stopped;
    }
    if (const auto finished = m_workFolder->FinishDownload(m_archiveName); !finished) {
        platform::WriteDiagnosticLine(finished.Failure().Text());
        failure = DownloadFailure::LocalFile;
        return StepResult::Failed;
    }
    return StepResult::Done;
}

ExtractFailure InstallRun::Extract()
{
    m_extraction = ExtractZipArchive(
        {m_workFolder->Handle(), m_archiveName, m_workFolder->NativePathOf(m_archiveName)}, m_request.stickRoot,
        [this](std::uint64_t processed, std::uint64_t) {
            const double percent = ExtractPercent(processed, g_extractTotalBytes);
            m_job->PublishProgress({ProgressPhase::Extract, percent, 0, 0, processed, g_extractTotalBytes});
            OutputDebugStringW(FormatExtractDebugLine(percent).c_str());
        },
        &m_job->StopFlag());
    if (!m_extraction.Ok())
        platform::WriteDiagnosticLine(m_extraction.error);
    return m_extraction.failure;
}

// Reads the files written back from the stick through its root handle and compares them
// with what was written, as a third phase of the progress.
ReadBackOutcome InstallRun::Verify()
{
    const ReadBackOutcome outcome = VerifyWrittenFiles(
        m_extraction.stickRoot, m_extraction.writtenFiles,
        [this](std::uint64_t done, std::uint64_t total) {
            m_job->PublishProgress({ProgressPhase::Verify, ExtractPercent(done, total), 0, 0, done, total});
        },
        &m_job->StopFlag());
    if (!outcome.diagnostic.empty())
        platform::WriteDiagnosticLine(outcome.diagnostic);
    return outcome;
}

DWORD InstallRun::Fail(InstallFailure failure, LPARAM detail)
{
    m_job->Post({{m_job->Window(), WM_INSTALL_FAILED, static_cast<WPARAM>(failure), detail}});
    return kEndedEarly;
}

DWORD InstallRun::StickPulled()
{
    m_job->Post({{m_job->Owner(), WM_INSTALL_STICK_PULLED, 0, 0}});
    return kEndedEarly;
}

DWORD InstallRun::Run()
{
    InstallJob& job = *m_job;
    if (!job.Pause(kStartPause))
        return kEndedEarly;

    switch (CheckNetwork()) {
    case StepResult::Done:
        break;
    case StepResult::Stopped:
        return kEndedEarly;
    case StepResult::Failed:
        return Fail(InstallFailure::NetworkUnavailable);
    }
    if (job.StopRequested())
        return kEndedEarly;

    if (const DWORD opened = OpenWorkFolder(); opened != kCompleted)
        return opened;

    // No sleep, no shutdown from the download's start to the read-back's end; every return
    // below lets go of it.
    const platform::SleepInhibitor awake = platform::SleepInhibitor::Take(kProgramName, text::kSleepInhibitReason);
    DownloadFailure downloadFailure = DownloadFailure::None;
    switch (Download(downloadFailure)) {
    case StepResult::Done:
        break;
    case StepResult::Stopped:
        // The part stays for the next run to go on with.
        return kEndedEarly;
    case StepResult::Failed:
        // A part cut by the network stays for the next run; one the disk refused is of no use.
        if (downloadFailure == DownloadFailure::LocalFile)
            m_workFolder->RemovePartialDownload(m_archiveName);
        // A disk that cannot hold the archive is not the network's fault.
        return Fail(
            downloadFailure == DownloadFailure::LocalFile ? InstallFailure::DownloadSave : InstallFailure::Download);
    }
    if (job.StopRequested())
        return kEndedEarly;

    const ExtractFailure extracted = Extract();
    if (extracted != ExtractFailure::None) {
        if (job.StopRequested() || extracted == ExtractFailure::Cancelled)
            return kEndedEarly;
        if (extracted == ExtractFailure::StickPulled)
            return StickPulled();
        return Fail(FailureOf(extracted));
    }

    if (m_request.verify) {
        switch (Verify().status) {
        case ReadBackOutcome::Status::Verified:
            break;
        case ReadBackOutcome::Status::Stopped:
            return kEndedEarly;
        case ReadBackOutcome::Status::StickGone:
            return StickPulled();
        case ReadBackOutcome::Status::Differs:
            return job.StopRequested() ? kEndedEarly : Fail(InstallFailure::Verification);
        }
    }

    // Posted in this order to one thread, so the main window learns of the end before its
    // download window closes.
    const bool handedOver = job.Post({{job.Owner(), WM_INSTALL_DONE, 0, 0}, {job.Window(), WM_CLOSE, 1, 0}});
    return handedOver ? kCompleted : kEndedEarly;
}

DWORD InstallThreadProc(LPVOID parameter)
{
    std::unique_ptr<InstallRun> run(static_cast<InstallRun*>(parameter));
    const std::shared_ptr<InstallJob> job = run->SharedJob();
    const DWORD result = run->Run();
    // The stick's handle goes with the run: the stick is not held open beyond the
    // installation, and can be ejected.
    run.reset();
    job->MarkEnded();
    return result;
}

} // namespace

bool StartInstallWorker(InstallRequest request, std::shared_ptr<InstallJob> job)
{
    ForgetEnded();
    {
        WorkerRegistry& registry = Registry();
        const std::lock_guard lock(registry.mutex);
        registry.jobs.push_back(job);
    }
    auto run = std::make_unique<InstallRun>(std::move(request), job);
    const HANDLE thread = CreateThread(nullptr, 0, &InstallThreadProc, run.get(), 0, nullptr);
    if (!thread) {
        job->MarkEnded();
        return false;
    }
    run.release(); // the thread owns it now
    CloseHandle(thread);
    return true;
}

bool StopInstallWorker(milliseconds wait)
{
    const std::vector<std::shared_ptr<InstallJob>> jobs = StopAll();
    const auto deadline = std::chrono::steady_clock::now() + wait;
    bool allEnded = true;
    for (const auto& job : jobs) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        allEnded = job->WaitForEnd(std::max(left, milliseconds(0))) && allEnded;
    }
    ForgetEnded();
    return allEnded;
}

void StopInstallWorkerAndWait()
{
    for (const auto& job : StopAll())
        job->WaitForEnd();
    ForgetEnded();
}
